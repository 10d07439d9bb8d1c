#include <sys/stat.h>

#include "files/file_identity.h"

namespace rawout {

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

std::optional<FileIdentity> identityOf(std::FILE* stream) {
  struct stat status {};
  if (::fstat(::fileno(stream), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

}  // namespace rawout
