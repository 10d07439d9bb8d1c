#include "export/base_name.h"

#include "text/paths.h"

namespace rawout {

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
