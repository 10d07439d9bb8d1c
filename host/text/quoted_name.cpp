#include "text/quoted_name.h"

#include <cstring>

#include "text/paths.h"
#include "text/printable.h"

namespace rawout {

namespace {

// Folder separators too: on Windows the backslash means nothing more to its shells.
constexpr char kPlainPunctuation[] = "+-./:=@_%^,";

bool isPlain(unsigned char character) {
  return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
         (character >= '0' && character <= '9') || character >= 0x80 ||
         (character != '\0' && std::strchr(kPlainPunctuation, character) != nullptr) ||
         isFolderSeparator(static_cast<char>(character));
}

std::string escaped(unsigned char character) {
  switch (character) {
    case '\a':
      return "\\a";
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\v':
      return "\\v";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    default:
      return {'\\', static_cast<char>('0' + (character >> 6)),
              static_cast<char>('0' + ((character >> 3) & 7)),
              static_cast<char>('0' + (character & 7))};
  }
}

}  // namespace

std::string quotedName(const std::string& name) {
  bool plain = !name.empty();
  for (std::size_t index = 0; plain && index < name.size(); index += characterAt(name, index)) {
    plain = isPlain(static_cast<unsigned char>(name[index])) && controlAt(name, index) == 0;
  }
  if (plain) {
    return name;
  }
  std::string quoted = "'";
  for (std::size_t index = 0; index < name.size();) {
    const char character = name[index];
    if (controlAt(name, index) > 0) {
      // A run of them in one $'...', as coreutils writes it.
      quoted += "'$'";
      for (std::size_t control = 0;
           index < name.size() && (control = controlAt(name, index)) > 0;) {
        for (; control > 0; --control, ++index) {
          quoted += escaped(static_cast<unsigned char>(name[index]));
        }
      }
      quoted += "''";
      continue;
    }
    const std::size_t length = characterAt(name, index);
    quoted += character == '\'' ? std::string("'\\''") : name.substr(index, length);
    index += length;
  }
  quoted += "'";
  // 'a'$'\n''' reads better as 'a'$'\n', and ''$'\n''b' as $'\n''b'.
  if (quoted.size() > 2 && quoted.compare(0, 2, "''") == 0) {
    quoted.erase(0, 2);
  }
  if (quoted.size() > 2 && quoted.compare(quoted.size() - 2, 2, "''") == 0) {
    quoted.erase(quoted.size() - 2);
  }
  return quoted;
}

std::string quotedValue(const std::string& value) {
  std::string quoted = quotedName(value);
  return !value.empty() && quoted == value ? "'" + quoted + "'" : quoted;
}

}  // namespace rawout
