#include <io.h>
#include <windows.h>

#include <cstdio>

#include "files/file_identity.h"
#include "files/file_identity_windows.h"

namespace rawout {

std::optional<FileIdentity> identityOfHandle(void* handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(static_cast<HANDLE>(handle), &information) == 0) {
    return std::nullopt;
  }
  return FileIdentity{
      std::uint64_t{information.dwVolumeSerialNumber},
      (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

std::optional<FileIdentity> identityOf(const std::string& path) {
  HANDLE file =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  const auto identity = identityOfHandle(file);
  ::CloseHandle(file);
  return identity;
}

std::optional<FileIdentity> identityOf(std::FILE* stream) {
  const intptr_t handle = ::_get_osfhandle(::_fileno(stream));
  if (handle == -1) {
    return std::nullopt;
  }
  return identityOfHandle(reinterpret_cast<HANDLE>(handle));  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace rawout
