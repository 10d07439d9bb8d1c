// A Windows error code in the system's words, for messages. Windows sources only.
#pragma once

#include <string>

namespace rawout {

// Without the trailing full stop and line end the system adds, and with `insert` where the text
// leaves a place for one ("Bad EXE format for %1"), or "it" when there is none.
std::string describeSystemError(unsigned long code, const std::string& insert = "");

}  // namespace rawout
