// GNU-style command lines: options anywhere, "--name=value" or "--name value", unambiguous
// abbreviations, "--" ends the options, a lone "-" is an operand. Errors are worded as GNU
// getopt words them and name the word as the user typed it.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace rawout {

struct LongOption {
  const char* name;  // without the leading "--"
  bool takesValue;
};

struct CommandLine {
  // Each option found, by its full name, with its value (empty for one that takes none).
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  bool help = false;  // --help anywhere, or "/?" on Windows
  std::string error;  // the first usage error on the line; empty when there is none
};

// `arguments` excludes the program name. "help" need not be among `known`.
CommandLine parseCommandLine(std::span<char* const> arguments, std::span<const LongOption> known);

}  // namespace rawout
