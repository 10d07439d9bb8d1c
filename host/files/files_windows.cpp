// Folder listings on Windows: FindFirstFileA.
#include <sys/stat.h>
#include <windows.h>

#include "files/files.h"

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

std::FILE* detail::openPrivately(const std::string& path, const char* mode) {
  // "N": not inherited.
  return std::fopen(path.c_str(), (std::string(mode) + "N").c_str());
}

std::size_t detail::claimedSize(std::FILE* file) {
  struct _stati64 status {};
  return ::_fstati64(::_fileno(file), &status) == 0 && status.st_size > 0
             ? static_cast<std::size_t>(status.st_size)
             : 0;
}

}  // namespace rawout
