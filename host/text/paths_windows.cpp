#include "text/paths.h"

namespace rawout {

std::string_view folderSeparators() { return "/\\:"; }

}  // namespace rawout
