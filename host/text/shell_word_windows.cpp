#include "text/shell_word.h"

namespace rawout {

// In double quotes, as the C runtime splits a command line: a quote is \", and the backslashes
// before a quote or the closing quote are doubled.
std::string shellWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"&|<>^%()") == std::string::npos) {
    return word;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char character : word) {
    if (character == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(character == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += character;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace rawout
