// The events by which a check process on Windows tells exporthost it faulted, and is told its
// stacks have been read: named for the check process, so that neither needs a handle of the
// other's. Windows sources only.
#pragma once

#include <string>

namespace rawout {

class CrashEvents {
 public:
  explicit CrashEvents(unsigned long process) : suffix_(std::to_string(process)) {}
  [[nodiscard]] std::string faulted() const { return "Local\\rawout-faulted-" + suffix_; }
  [[nodiscard]] std::string read() const { return "Local\\rawout-read-" + suffix_; }

 private:
  std::string suffix_;
};

}  // namespace rawout
