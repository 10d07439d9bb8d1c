// A trap for faults that a plug-in causes on memory the host lent it: each becomes an error
// instead of a crash or a misleading cause.
#pragma once

#include <cstddef>
#include <string>

namespace rawout {

// While one lives, a fault (SIGSEGV or SIGBUS on Linux, an access violation on Windows) that the
// plug-in raises on any thread past the end of an extension buffer, or inside the watched range,
// ends the process at once with that fault's message (exit status 1, or as set). Other faults are
// left to whatever handled them before. One at a time.
class FaultTrap {
 public:
  // `overrunMessage` is for a write past the end of any ExtensionBuffer alive; what the plug-in
  // wrote there is shown after it, then `overrunEnd`.
  explicit FaultTrap(std::string overrunMessage, std::string overrunEnd = "");
  ~FaultTrap();
  FaultTrap(const FaultTrap&) = delete;
  FaultTrap& operator=(const FaultTrap&) = delete;

  // One range of the host's memory the plug-in reads, and the message for a fault in it; a write
  // there, or in the rest of its last page, is reported as one into `what`, or past its end, when
  // writes are reported.
  void watch(const void* begin, std::size_t bytes, std::string message,
             const char* what = "the input");
  // A write into memory the host lent read-only (a ReadOnlyCopy, the watched range) ends the
  // process with `before` + "wrote into the base name at byte 3, ..." + `after`.
  void reportWrites(std::string before, std::string after) {
    writeBefore_ = std::move(before);
    writeAfter_ = std::move(after);
    reportsWrites_ = true;
  }
  // The message for a store before an extension buffer guarded in front.
  void reportUnderruns(std::string message) { underrunMessage_ = std::move(message); }
  // The message goes into the file at `path`, created or emptied, instead of standard error.
  void reportInto(std::string path) { reportPath_ = std::move(path); }
  // The status the process ends with once the message is out (1 unless set).
  void exitWith(int status) { exitStatus_ = status; }
  [[nodiscard]] int exitStatus() const { return exitStatus_; }
  // The message goes to this open descriptor instead (POSIX: a pipe to a parent process).
  void reportTo(int descriptor) { reportDescriptor_ = descriptor; }

  // Puts the message for a fault at `address` (a store when `write`) into `message` (at most
  // `capacity` bytes) and returns its length, or 0 when the fault is not one of these. Safe in a
  // signal handler.
  std::size_t messageFor(const void* address, bool write, char* message,
                         std::size_t capacity) const noexcept;
  [[nodiscard]] const std::string& reportPath() const { return reportPath_; }
  [[nodiscard]] int reportDescriptor() const { return reportDescriptor_; }

 private:
  void install();  // the platform's handler

  std::string overrunMessage_;
  std::string overrunEnd_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  const char* lentEnd_ = nullptr;  // the end of the range's last page
  std::string rangeMessage_;
  const char* rangeWhat_ = "the input";
  std::string writeBefore_;
  std::string writeAfter_;
  bool reportsWrites_ = false;
  std::string underrunMessage_;
  std::string reportPath_;
  int reportDescriptor_ = -1;
  int exitStatus_ = 1;
};

}  // namespace rawout
