// Items in one line of text.
#pragma once

#include <string>
#include <string_view>

namespace rawout {

// The items of `parts`, each a string, with `separator` between them.
template <typename Parts>
std::string joined(const Parts& parts, std::string_view separator) {
  std::string text;
  for (const auto& part : parts) {
    if (!text.empty()) {
      text += separator;
    }
    text += part;
  }
  return text;
}

}  // namespace rawout
