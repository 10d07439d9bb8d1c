// The channel through which a failed save says why: errno on POSIX; on Windows the thread's
// last-error code, which a host reads whatever C runtime the plug-in was built with.
#pragma once

#include <string>

namespace rawout {

// Clear it just before the call and read it at once after.
void clearFailureCause() noexcept;
// The cause in the system's words, or an empty string when the plug-in left none.
std::string failureCause();

// Keeps the channel as the plug-in left it while the host does its own work after a call (which
// may set errno or the last-error code), and puts it back as it ends.
class FailureCauseKept {
 public:
  FailureCauseKept() noexcept;
  ~FailureCauseKept();
  FailureCauseKept(const FailureCauseKept&) = delete;
  FailureCauseKept& operator=(const FailureCauseKept&) = delete;

 private:
  int error_ = 0;
  [[maybe_unused]] unsigned long system_ = 0;  // the last-error code, on Windows
};

}  // namespace rawout
