#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "files/working_folder.h"
#include "text/quoted_name.h"

namespace rawout {

std::string absolutePath(const std::string& path) {
  if (path.starts_with('/')) {
    return path;
  }
  // Allocated by the C library: the working folder may be deeper than PATH_MAX.
  const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  if (!folder) {
    throw std::runtime_error("cannot name the working folder, from which " + quotedName(path) +
                             " is named: " + std::strerror(errno));
  }
  return std::string(folder.get()) + "/" + path;
}

bool enterFolder(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

#ifdef O_PATH
constexpr int kHeldOnly = O_PATH;  // needs no permission to read the folder
#else
constexpr int kHeldOnly = O_RDONLY;
#endif

WorkingFolderMark::WorkingFolderMark()
    : descriptor_(::open(".", kHeldOnly | O_DIRECTORY | O_CLOEXEC)) {
  if (descriptor_ < 0) {
    throw std::runtime_error(std::string("cannot hold the working folder: ") +
                             std::strerror(errno));
  }
}

WorkingFolderMark::~WorkingFolderMark() { ::close(descriptor_); }

bool WorkingFolderMark::enterAgain() const { return ::fchdir(descriptor_) == 0; }

const char* const kTemporaryFolderVariables = "TMPDIR";

bool temporaryFilesInto(const std::string& folder) {
  return ::setenv("TMPDIR", folder.c_str(), 1) == 0;
}

}  // namespace rawout
