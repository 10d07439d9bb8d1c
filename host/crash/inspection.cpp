#include "crash/inspection.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace rawout {

std::string readableName(const char* symbol) {
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
  if (status != 0 || !plain) {
    return symbol;
  }
  std::string text = plain.get();
  const std::size_t last = text.rfind(')');
  if (last == std::string::npos) {
    return text;
  }
  int depth = 0;
  for (std::size_t index = last + 1; index-- > 0;) {
    depth += text[index] == ')' ? 1 : text[index] == '(' ? -1 : 0;
    if (depth == 0) {
      return index > 0 ? text.substr(0, index) : text;
    }
  }
  return text;
}

}  // namespace rawout
