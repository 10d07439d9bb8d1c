#include <windows.h>

#include <cerrno>
#include <cstring>

#include "file_platform.h"

namespace rawout {

namespace {

// For a failure the C runtime found on its own, without a system call to name it.
DWORD systemCodeFor(int error, Failure failure) noexcept {
  switch (error) {
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EMFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
      return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return failure == Failure::Open ? ERROR_OPEN_FAILED : ERROR_WRITE_FAULT;
  }
}

char upper(char character) noexcept {
  return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A')
                                              : character;
}

// CON, PRN, AUX, NUL, and COM or LPT with a digit or a superscript 1, 2 or 3 (Western code page):
// names the system maps to a device in every folder.
bool isDeviceName(const char* name, std::size_t length) noexcept {
  char stem[5] = {};
  if (length < 3 || length > 4) {
    return false;
  }
  for (std::size_t index = 0; index < length; ++index) {
    stem[index] = upper(name[index]);
  }
  if (length == 3) {
    return std::strcmp(stem, "CON") == 0 || std::strcmp(stem, "PRN") == 0 ||
           std::strcmp(stem, "AUX") == 0 || std::strcmp(stem, "NUL") == 0;
  }
  const char last = stem[3];
  const bool port = std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0;
  return port &&
         ((last >= '0' && last <= '9') || last == '\xB9' || last == '\xB2' || last == '\xB3');
}

}  // namespace

// "N": not inherited by processes the host starts while it is open.
extern const char kWriteMode[] = "wbN";
// The longest name the ANSI file functions can be handed; they reject what they cannot take.
extern const std::size_t kMaxFileNameBytes = 32768;

void clearCause() noexcept { ::SetLastError(ERROR_SUCCESS); }

Cause causeOf(Failure failure) noexcept {
  switch (failure) {
    case Failure::NullArgument:
      return {EINVAL, ERROR_INVALID_PARAMETER};
    case Failure::NameTooLong:
      return {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE};
    case Failure::InvalidName:
      return {EINVAL, ERROR_INVALID_NAME};
    case Failure::NoMemory:
      return {ENOMEM, ERROR_NOT_ENOUGH_MEMORY};
    default:
      break;
  }
  const int error = errno;
  const DWORD system = ::GetLastError();
  return {error, system != ERROR_SUCCESS ? system : systemCodeFor(error, failure)};
}

int report(const Cause& cause) noexcept {
  errno = cause.error;
  ::SetLastError(cause.system);
  return 0;
}

void removeIfRegularFile(const char* fileName) noexcept {
  const DWORD attributes = ::GetFileAttributesA(fileName);
  constexpr DWORD kNotAFile =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotAFile) == 0) {
    ::DeleteFileA(fileName);
  }
}

bool namesAPlainFile(const char* fileName) noexcept {
  const char* rest = fileName;
  // "\\?\" and "\\.\" name the same files by another route.
  if ((rest[0] == '\\' || rest[0] == '/') && (rest[1] == '\\' || rest[1] == '/') &&
      (rest[2] == '?' || rest[2] == '.') && (rest[3] == '\\' || rest[3] == '/')) {
    rest += 4;
  }
  const bool drive =
      ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) && rest[1] == ':';
  if (std::strchr(drive ? rest + 2 : rest, ':') != nullptr) {
    return false;
  }
  // The last component, up to its first dot, without the spaces the system drops: "nul.bin",
  // "Nul .bin" and "C:\dir\aux.tar.bin" all name a device.
  const char* component = drive ? rest + 2 : rest;
  for (const char* at = component; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') {
      component = at + 1;
    }
  }
  std::size_t length = std::strcspn(component, ".");
  while (length > 0 && component[length - 1] == ' ') {
    --length;
  }
  return !isDeviceName(component, length);
}

// Windows raises no signal for a failed write.
bool writeBlock(std::FILE* file, const void* data, std::size_t size, Cause& cause) noexcept {
  clearCause();
  const bool written = writeWhole(file, data, size);
  if (!written) {
    cause = causeOf(Failure::Write);
  }
  return written;
}

}  // namespace rawout
