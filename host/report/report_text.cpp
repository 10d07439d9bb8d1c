#include "report/report_text.h"

#include <algorithm>
#include <cstdint>

#include "text/printable.h"

namespace rawout {

std::string xmlEscaped(const std::string& raw) {
  const std::string text = printable(raw);
  std::string escaped;
  for (std::size_t index = 0; index < text.size();) {
    std::uint32_t codePoint = 0;
    const std::size_t length = utf8SequenceAt(text, index, codePoint);
    if (length == 0 || codePoint == 0xFFFE || codePoint == 0xFFFF) {
      for (std::size_t byte = 0; byte < std::max<std::size_t>(length, 1); ++byte, ++index) {
        const auto value = static_cast<unsigned char>(text[index]);
        escaped += {'\\', 'x', kHexDigits[value >> 4], kHexDigits[value & 15]};
      }
      continue;
    }
    switch (text[index]) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped.append(text, index, length);
    }
    index += length;
  }
  return escaped;
}

// TAP reads "#" in a description as the start of a directive.
std::string tapDescription(const std::string& text) {
  std::string escaped;
  for (const char character : printable(text)) {
    if (character == '#' || character == '\\') {
      escaped += '\\';
    }
    escaped += character;
  }
  return escaped;
}

std::string yamlQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char character : printable(text)) {
    if (character == '"' || character == '\\') {
      quoted += '\\';
    }
    quoted += character;
  }
  return quoted + "\"";
}

}  // namespace rawout
