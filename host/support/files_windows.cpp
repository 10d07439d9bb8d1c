// Folder listings on Windows: FindFirstFileA.
#include <windows.h>

#include "support/files.h"

namespace rawout {

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") {
      names.insert(name);
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return names;
}

}  // namespace rawout
