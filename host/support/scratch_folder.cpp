#include "support/scratch_folder.h"

#include <filesystem>
#include <system_error>

#include "support/quoted_name.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <random>

#include "support/system_error_text.h"
#else
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <unistd.h>
#endif

namespace rawout {

namespace {

ScratchFolderError cannotMake(const std::string& parent, const std::string& cause) {
  // NOLINTNEXTLINE(modernize-return-braced-init-list): the constructor is explicit
  return ScratchFolderError("cannot make a scratch folder in " + quotedName(parent) + ": " + cause);
}

#ifdef _WIN32
std::string makePrivateFolder() {
  char parent[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof parent, parent);
  if (length == 0 || length > MAX_PATH) {
    throw cannotMake("the temporary folder", describeSystemError(::GetLastError()));
  }
  std::random_device random;
  // CreateDirectory fails on a name that exists: the folder is ours alone, inside the user's own
  // temporary folder.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = parent + ("exporthost-" + std::to_string(random()));
    if (::CreateDirectoryA(candidate.c_str(), nullptr) != 0) {
      // TMP may name a folder relative to this one.
      char full[MAX_PATH + 1] = {};
      const DWORD fullLength = ::GetFullPathNameA(candidate.c_str(), sizeof full, full, nullptr);
      if (fullLength > 0 && fullLength <= MAX_PATH) {
        candidate.assign(full, fullLength);
      }
      std::replace(candidate.begin(), candidate.end(), '\\', '/');  // as on every platform
      return candidate;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw cannotMake(parent, describeSystemError(::GetLastError()));
    }
  }
  throw cannotMake(parent, describeSystemError(ERROR_ALREADY_EXISTS));
}
#else
std::string makePrivateFolder() {
  const char* set = std::getenv("TMPDIR");
  const std::string parent = set != nullptr && *set != '\0' ? set : "/tmp";
  std::string name = parent + (parent.back() == '/' ? "" : "/") + "exporthost-XXXXXX";
  // mkdtemp makes the folder with mode 0700 and fails rather than take one that exists.
  if (::mkdtemp(name.data()) == nullptr) {
    throw cannotMake(parent, std::strerror(errno));
  }
  if (name.front() != '/') {
    char folder[4096];
    if (::getcwd(folder, sizeof folder) == nullptr) {
      const std::string cause = std::strerror(errno);
      ::rmdir(name.c_str());
      throw cannotMake(parent, cause);
    }
    name = std::string(folder) + "/" + name;
  }
  return name;
}
#endif

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

ScratchFolder::ScratchFolder() : path_(makePrivateFolder()) {}

ScratchFolder::~ScratchFolder() {
  if (!path_.empty()) {
    (void)removeTree(path_);
  }
}

void ScratchFolder::remove() {
  if (const std::string cause = removeTree(path_); !cause.empty()) {
    throw ScratchFolderError("cannot remove the scratch folder " + quotedName(path_) + ": " +
                             cause);
  }
  path_.clear();
}

std::string ScratchFolder::operator/(const std::string& name) const { return path_ + "/" + name; }

}  // namespace rawout
