#include <unistd.h>

#include "support/paths.h"

namespace rawout {

std::string_view folderSeparators() { return "/"; }

std::string absolutePath(const std::string& path) {
  if (path.starts_with('/')) {
    return path;
  }
  char folder[4096];
  return ::getcwd(folder, sizeof folder) != nullptr ? std::string(folder) + "/" + path : path;
}

bool enterFolder(const std::string& folder) { return ::chdir(folder.c_str()) == 0; }

}  // namespace rawout
