// A trap for faults that a plug-in causes on memory the host lent it: each becomes an error
// instead of a crash or a misleading cause.
#pragma once

#include <cstddef>
#include <string>

namespace rawout {

// While one lives, a fault (SIGSEGV or SIGBUS on Linux, an access violation on Windows) that the
// plug-in raises on any thread past the end of an extension buffer, or inside the watched range,
// ends the process at once with that fault's message and exit status 1. Other faults are left to
// whatever handled them before. One at a time.
class FaultTrap {
 public:
  // `overrunMessage` is for a write past the end of any ExtensionBuffer alive.
  explicit FaultTrap(std::string overrunMessage);
  ~FaultTrap();
  FaultTrap(const FaultTrap&) = delete;
  FaultTrap& operator=(const FaultTrap&) = delete;

  // One range of the host's memory the plug-in reads, and the message for a fault in it.
  void watch(const void* begin, std::size_t bytes, std::string message);
  // The message goes into the file at `path`, created or emptied, instead of standard error.
  void reportInto(std::string path) { reportPath_ = std::move(path); }
  // The message goes to this open descriptor instead (POSIX: a pipe to a parent process).
  void reportTo(int descriptor) { reportDescriptor_ = descriptor; }

  // The message for `address`, or null when the fault is not one of these. Safe in a handler.
  [[nodiscard]] const std::string* messageFor(const void* address) const noexcept;
  [[nodiscard]] const std::string& reportPath() const { return reportPath_; }
  [[nodiscard]] int reportDescriptor() const { return reportDescriptor_; }

 private:
  std::string overrunMessage_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  std::string rangeMessage_;
  std::string reportPath_;
  int reportDescriptor_ = -1;
};

}  // namespace rawout
