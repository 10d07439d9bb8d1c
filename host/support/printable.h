// Text a plug-in chose, made safe to show: a control byte there could forge a line or drive the
// terminal.
#pragma once

#include <string>

namespace rawout {

// Control bytes as \xHH; everything else as it is.
std::string printable(const std::string& text);

}  // namespace rawout
