// A Windows error code in the system's words, for messages. Windows sources only.
#pragma once

#include <string>

namespace rawout {

// Without the trailing full stop and line end the system adds.
std::string describeSystemError(unsigned long code);

}  // namespace rawout
