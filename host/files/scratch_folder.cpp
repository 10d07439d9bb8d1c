#include "files/scratch_folder.h"

#include <filesystem>
#include <system_error>

#include "text/quoted_name.h"

namespace rawout {

namespace {

// Every folder below `path`, and `path` itself, open to its owner again.
void makeWritable(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  if (!fs::is_directory(fs::symlink_status(path, ignored))) {
    return;
  }
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (fs::directory_iterator entry(path, ignored), end; !ignored && entry != end;
       entry.increment(ignored)) {
    makeWritable(entry->path());
  }
}

}  // namespace

std::string removeTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (!error) {
    return {};
  }
  // Removing an entry needs its folder writable, and listing it readable.
  makeWritable(path);
  error.clear();
  std::filesystem::remove_all(path, error);
  return error ? error.message() : std::string();
}

ScratchFolder::ScratchFolder() {
  const std::string parent = detail::temporaryFolder();
  path_ = detail::absoluteScratchPath(detail::makePrivateFolder(parent, "exporthost-"), parent);
}

ScratchFolder::ScratchFolder(const std::string& parent, const std::string& prefix)
    : path_(detail::makePrivateFolder(parent, prefix)) {}

ScratchFolder::~ScratchFolder() {
  if (!path_.empty()) {
    (void)removeTree(path_);
  }
}

void ScratchFolder::remove() {
  if (const std::string cause = removeTree(path_); !cause.empty()) {
    throw ScratchFolderError("cannot remove the scratch folder " + quotedName(path_) + ": " + cause,
                             cause, false);
  }
  path_.clear();
}

std::string ScratchFolder::operator/(const std::string& name) const { return path_ + "/" + name; }

}  // namespace rawout
