// Text a plug-in chose reaches the terminal, TAP, YAML and XML: whatever the bytes, what is shown
// holds no control character, is strict UTF-8 where XML needs it, and quotes what must be quoted.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "report/report_text.h"
#include "text/printable.h"
#include "text/quoted_name.h"

namespace {

bool holdsNoControl(const std::string& text) {
  for (std::size_t index = 0; index < text.size(); index += rawout::characterAt(text, index)) {
    if (rawout::controlAt(text, index) != 0) {
      return false;
    }
  }
  return true;
}

// Strict UTF-8 with no character XML 1.0 forbids, and no markup but the entities made.
bool wellFormedXmlText(const std::string& text) {
  for (std::size_t index = 0; index < text.size();) {
    std::uint32_t codePoint = 0;
    const std::size_t length = rawout::utf8SequenceAt(text, index, codePoint);
    if (length == 0 || codePoint < 0x20 || codePoint == 0xFFFE || codePoint == 0xFFFF ||
        text[index] == '<' || text[index] == '>' || text[index] == '"') {
      return false;
    }
    if (text[index] == '&') {
      const std::size_t end = text.find(';', index);
      const std::string entity =
          end == std::string::npos ? "" : text.substr(index, end - index + 1);
      if (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;" &&
          entity != "&apos;") {
        return false;
      }
    }
    index += length;
  }
  return true;
}

// A YAML double-quoted scalar: quotes at both ends, and inside them no quote or backslash that
// is not escaped.
bool wellFormedYaml(const std::string& text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
    return false;
  }
  for (std::size_t index = 1; index + 1 < text.size(); ++index) {
    if (text[index] == '\\') {
      ++index;
      if (index + 1 == text.size() || (text[index] != '\\' && text[index] != '"')) {
        return false;
      }
    } else if (text[index] == '"') {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string shown = rawout::printable(bytes);
  FUZZ_REQUIRE(holdsNoControl(shown));
  // Text without a control character is shown as it is.
  FUZZ_REQUIRE(!holdsNoControl(bytes) || shown == bytes);
  const std::string quoted = rawout::quotedName(bytes);
  FUZZ_REQUIRE(holdsNoControl(quoted));
  // Changed, it is quoted as a shell reads it: '...', $'...' or \' first.
  FUZZ_REQUIRE(quoted == bytes || quoted.front() == '\'' || quoted.front() == '$' ||
               quoted.front() == '\\');
  FUZZ_REQUIRE(wellFormedXmlText(rawout::xmlEscaped(bytes)));
  FUZZ_REQUIRE(wellFormedYaml(rawout::yamlQuoted(bytes)));
  const std::string description = rawout::tapDescription(bytes);
  FUZZ_REQUIRE(holdsNoControl(description));
  for (std::size_t index = 0; index < description.size(); ++index) {
    // Every "#" is escaped, so no directive can be forged.
    FUZZ_REQUIRE(description[index] != '#' || (index > 0 && description[index - 1] == '\\'));
  }
  return 0;
}
