// Stopping exporthost without leaving anything behind: a stop asked for by a signal (on Windows
// Ctrl+C, Ctrl+Break or a closed console) is noticed by whoever waits, the stack unwinds,
// removing its scratch folders and ending its processes, and exporthost then ends as the signal
// would have ended it.
#pragma once

#include <exception>

namespace rawout {

// exporthost was asked to stop while it waited; what it waited for has been ended.
class Interrupted : public std::exception {};

// While one lives, SIGINT, SIGTERM and SIGHUP (on Windows Ctrl+C and Ctrl+Break) do not end
// exporthost at once: they are noted for stopAsked(). On Linux, orphans of exporthost's
// children come to exporthost (a subreaper), to be ended, and SIGPIPE is held back, so that
// output written into a closed pipe fails as a write instead of ending exporthost.
class Interruptible {
 public:
  Interruptible();
  ~Interruptible();
  Interruptible(const Interruptible&) = delete;
  Interruptible& operator=(const Interruptible&) = delete;
  // Whether a stop has been asked for since one was made.
  [[nodiscard]] static bool stopAsked();
  // In a forked child: the signals handled as before one was made.
  static void forgetInChild();
  // Ends the process the way the signal that arrived would have, once the caller has cleaned up.
  [[noreturn]] static void endAsAsked();
};

}  // namespace rawout
