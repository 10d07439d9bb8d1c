// A word of a command line printed for a user to paste into the platform's shell.
#pragma once

#include <string>

namespace rawout {

// `word` as the shell (sh; cmd on Windows) reads it back: as it is when it can be, else quoted.
std::string shellWord(const std::string& word);

}  // namespace rawout
