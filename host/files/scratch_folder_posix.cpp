// Private folders on Linux: mkdtemp, which makes the folder with mode 0700 and fails rather than
// take a name that exists.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/scratch_folder.h"
#include "files/working_folder.h"
#include "text/quoted_name.h"

namespace rawout::detail {

std::string temporaryFolder() {
  const char* set = std::getenv("TMPDIR");
  return set != nullptr && *set != '\0' ? set : "/tmp";
}

namespace {

ScratchFolderError cannotMake(const std::string& parent, int cause) {
  return {"cannot make a scratch folder in " + quotedName(parent) + ": " + std::strerror(cause),
          std::strerror(cause), cause == ENOENT || cause == ENOTDIR};
}

}  // namespace

std::string makePrivateFolder(const std::string& parent, const std::string& prefix) {
  const bool separated = parent.empty() || parent.back() == '/';
  std::string name = parent + (separated ? "" : "/") + prefix + "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) {
    throw cannotMake(parent, errno);
  }
  return name;
}

std::string absoluteScratchPath(const std::string& made, const std::string& /*parent*/) {
  try {
    return absolutePath(made);
  } catch (const std::runtime_error& cannot) {
    ::rmdir(made.c_str());
    throw ScratchFolderError(cannot.what(), cannot.what(), false);
  }
}

}  // namespace rawout::detail
