// By bytes rather than with std::filesystem: on Windows a path object converts 8-bit names through
// a code page, and the host hands names to plug-ins byte for byte.
#include "text/paths.h"

namespace rawout {

bool isFolderSeparator(char character) {
  return character != '\0' && folderSeparators().find(character) != std::string_view::npos;
}

std::size_t lastComponentStart(const std::string& path) {
  const std::size_t separator = path.find_last_of(folderSeparators());
  return separator == std::string::npos ? 0 : separator + 1;
}

std::string lastComponent(const std::string& path) { return path.substr(lastComponentStart(path)); }

std::string folderPart(const std::string& path) { return path.substr(0, lastComponentStart(path)); }

}  // namespace rawout
