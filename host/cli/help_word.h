// The platform's own way to ask a program for help, beside --help.
#pragma once

#include <string_view>

namespace rawout {

// "/?" on Windows, as its programs take it; nothing elsewhere.
bool isPlatformHelpWord(std::string_view word);

}  // namespace rawout
