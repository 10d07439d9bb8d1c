// Faults that a plug-in causes on memory the host lent it, turned into an error instead of a
// crash or a misleading cause.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace rawout {

// While one lives, a fault on an address in a watched range (SIGSEGV or SIGBUS on Linux, an access
// violation on Windows), raised by the plug-in on any thread, ends the process at once with that
// range's message on standard error and exit status 1. Other faults are left to whatever handled
// them before. One at a time.
class FaultReport {
 public:
  FaultReport();
  ~FaultReport();
  FaultReport(const FaultReport&) = delete;
  FaultReport& operator=(const FaultReport&) = delete;

  // Up to two ranges; `message` is one line, ending in a line feed.
  void watch(const void* begin, std::size_t bytes, std::string message);
  // The message for `address`, or null when no watched range holds it. Safe in a signal handler.
  [[nodiscard]] const std::string* messageFor(const void* address) const noexcept;

 private:
  struct Range {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::string message;
  };
  std::array<Range, 2> ranges_;
};

}  // namespace rawout
