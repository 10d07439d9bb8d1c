// Where the running program lies, for starting it again (a check process, the save's process on
// Windows) and for finding what is installed beside it.
#pragma once

#include <string>

namespace rawout {

// The full path of the running program, or "" when the system cannot tell it.
std::string thisProgram();

// Ends the running program at once with `status`, its standard streams flushed, unloading none of
// its modules (on Windows not even the DllMain detach that ExitProcess runs): for a plug-in
// whose unload hangs or crashes.
[[noreturn]] void endWithoutUnloading(int status);

}  // namespace rawout
