// By bytes rather than with std::filesystem: on Windows a path object converts 8-bit names through
// a code page, and the host hands names to plug-ins byte for byte.
#include "paths.h"

namespace rawout {

namespace {

#ifdef _WIN32
constexpr char kSeparators[] = "/\\:";
#else
constexpr char kSeparators[] = "/";
#endif

std::size_t lastComponentStart(const std::string& path) {
  const std::size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

std::string lastComponent(const std::string& path) { return path.substr(lastComponentStart(path)); }

std::string baseNameOf(const std::string& input) {
  const std::size_t start = lastComponentStart(input);
  const std::size_t dot = input.rfind('.');
  if (dot == std::string::npos || dot <= start || input.substr(start) == "..") {
    return input;
  }
  return input.substr(0, dot);
}

bool namesAFolder(const std::string& baseName) {
  const std::string name = lastComponent(baseName);
  return name.empty() || name == "." || name == "..";
}

}  // namespace rawout
