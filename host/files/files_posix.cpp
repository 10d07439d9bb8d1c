// Folder listings on Linux: readdir.
#include <dirent.h>
#include <sys/stat.h>

#include "files/files.h"

namespace rawout {

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  while (listing != nullptr) {
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.insert(name);
    }
  }
  if (listing != nullptr) {
    ::closedir(listing);
  }
  return names;
}

std::FILE* detail::openPrivately(const std::string& path, const char* mode) {
  // "e": close-on-exec.
  return std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
}

std::size_t detail::claimedSize(std::FILE* file) {
  struct stat status {};
  return ::fstat(::fileno(file), &status) == 0 && status.st_size > 0
             ? static_cast<std::size_t>(status.st_size)
             : 0;
}

}  // namespace rawout
