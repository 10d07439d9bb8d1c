// The channel through which a failed save says why: errno on POSIX; on Windows the thread's
// last-error code, which a host reads whatever C runtime the plug-in was built with.
#pragma once

#include <string>

namespace rawout {

// Clear it just before the call and read it at once after.
void clearFailureCause() noexcept;
// The cause in the system's words, or an empty string when the plug-in left none.
std::string failureCause();

}  // namespace rawout
