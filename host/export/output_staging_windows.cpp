#include <windows.h>

#include <cstdint>
#include <string>

#include "export/export_error.h"
#include "export/output_staging.h"
#include "files/working_folder.h"
#include "process/windows_process.h"
#include "text/paths.h"
#include "text/system_error_text.h"

namespace rawout {

namespace {

// What an existing output is, past any link: the file it leads to (a symbolic link's or a
// junction's target; under wine a Unix link's too) and how many names that file has.
struct Reached {
  std::string path;
  DWORD names = 1;
};

Reached reachedFrom(const std::string& output) {
  const OwnedHandle file(
      ::CreateFileA(output.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  Reached reached{output};
  if (!file.valid()) {
    return reached;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(file.get(), &information) != 0) {
    reached.names = information.nNumberOfLinks;
  }
  std::string final(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleA(file.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    if (length == 0) {
      return reached;
    }
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.resize(length);
  }
  // "\\?\C:\..." for a drive, "\\?\UNC\server\..." for a share.
  constexpr char kLong[] = R"(\\?\)";
  constexpr char kShare[] = R"(\\?\UNC\)";
  if (final.starts_with(kShare)) {
    final = R"(\\)" + final.substr(sizeof kShare - 1);
  } else if (final.starts_with(kLong)) {
    final.erase(0, sizeof kLong - 1);
  }
  reached.path = final;
  return reached;
}

// The staged bytes put in place as `target`, from a copy beside it renamed over it: true when
// done; false with nothing changed when the target's folder takes no new file, or no room.
bool replaceBeside(const std::string& staged, const std::string& target) {
  char copy[MAX_PATH + 1] = {};
  if (::GetTempFileNameA(folderPart(target).c_str(), "exh", 0, copy) == 0) {
    return false;
  }
  if (::CopyFileA(staged.c_str(), copy, FALSE) != 0 &&
      ::MoveFileExA(copy, target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  const DWORD cause = ::GetLastError();
  (void)::DeleteFileA(copy);
  ::SetLastError(cause);
  return false;
}

bool setSize(HANDLE file, std::int64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = size;
  return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0 && ::SetEndOfFile(file) != 0;
}

// Writes the staged file's bytes into `target` as it is, the room for them taken first: a target
// that cannot grow to the new size is left byte for byte. Returns the system's words, or "".
std::string writeInto(const std::string& staged, const std::string& target) {
  OwnedHandle from(::CreateFileA(staged.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  OwnedHandle into(::CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER bytes{};
  LARGE_INTEGER existing{};
  if (!from.valid() || !into.valid() || ::GetFileSizeEx(from.get(), &bytes) == 0) {
    return describeSystemError(::GetLastError());
  }
  // A device or a pipe has no size, and gets the bytes alone.
  const bool sized =
      ::GetFileType(into.get()) == FILE_TYPE_DISK && ::GetFileSizeEx(into.get(), &existing) != 0;
  if (sized && bytes.QuadPart > existing.QuadPart && !setSize(into.get(), bytes.QuadPart)) {
    const DWORD cause = ::GetLastError();
    (void)setSize(into.get(), existing.QuadPart);
    return describeSystemError(cause);
  }
  if (::SetFilePointerEx(into.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) == 0) {
    return describeSystemError(::GetLastError());
  }
  char chunk[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(from.get(), chunk, sizeof chunk, &got, nullptr) == 0) {
      return describeSystemError(::GetLastError());
    }
    if (got == 0) {
      break;
    }
    DWORD put = 0;
    if (::WriteFile(into.get(), chunk, got, &put, nullptr) == 0 || put != got) {
      return describeSystemError(::GetLastError());
    }
  }
  if (sized && bytes.QuadPart < existing.QuadPart && !setSize(into.get(), bytes.QuadPart)) {
    return describeSystemError(::GetLastError());
  }
  return into.close() ? std::string() : describeSystemError(::GetLastError());
}

}  // namespace

void OutputStaging::moveIntoPlace(const std::string& extension, const std::string& output) const {
  const std::string staged = baseName() + extension;
  if (::GetFileAttributesA(output.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!beside()) {
      throw ExportError(whyNotBeside_);
    }
    if (::MoveFileExA(staged.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
      throw ExportError(describeSystemError(::GetLastError()));
    }
    return;
  }
  // A link keeps leading where it led, and its target is replaced beside it; a file with other
  // names keeps them all, and gets the bytes written into it.
  const Reached reached = reachedFrom(output);
  if (reached.names <= 1) {
    if (beside() && ::lstrcmpiA(reached.path.c_str(), absolutePath(output).c_str()) == 0) {
      if (::MoveFileExA(staged.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        throw ExportError(describeSystemError(::GetLastError()));
      }
      return;
    }
    if (replaceBeside(staged, reached.path)) {
      return;
    }
  }
  if (const std::string failure = writeInto(staged, reached.path); !failure.empty()) {
    throw ExportError(failure);
  }
}

}  // namespace rawout
