#include <windows.h>

#include <cstring>

#include "file_platform.h"

namespace rawout {

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
  return std::strchr(drive ? rest + 2 : rest, ':') == nullptr;
}

}  // namespace rawout
