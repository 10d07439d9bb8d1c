// Folder listings on Linux: readdir.
#include <dirent.h>

#include "support/files.h"

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

}  // namespace rawout
