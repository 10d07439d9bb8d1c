// A Windows error code in the system's words, for messages.
#pragma once

#include <string>

namespace rawout {

#ifdef _WIN32
// Without the trailing full stop and line end the system adds.
std::string describeSystemError(unsigned long code);
#endif

}  // namespace rawout
