#include "text/shell_word.h"

#include "text/quoted_name.h"

namespace rawout {

std::string shellWord(const std::string& word) { return word.empty() ? "''" : quotedName(word); }

}  // namespace rawout
