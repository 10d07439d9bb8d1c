#include "cli/help_word.h"

namespace rawout {

bool isPlatformHelpWord(std::string_view /*word*/) { return false; }

}  // namespace rawout
