// Starting processes on Windows, shared by the check, the export and the reference command.
// Windows sources only.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

namespace rawout {

// How a process ended, from its exit code: "exit status 3", or "exception 0xC0000005" for the
// codes from 0xC0000000 up.
std::string describeExitCode(unsigned long code);

// Held from making the inheritable handles a process is to get until they are closed again
// after it starts: a process started on another thread meanwhile would inherit them too, and keep
// another check's files open.
std::mutex& processStartLock();

// Signalled when a stop is asked for while an Interruptible lives; null when none lives.
HANDLE stopEvent();

// A handle owned, closed when this goes; null and INVALID_HANDLE_VALUE, the system's two ways of
// saying none, are both held as none.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() { (void)close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  [[nodiscard]] bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const { return handle_; }
  // Closes it now: false, with GetLastError() set, when the system could not.
  bool close() {
    if (!valid()) {
      return true;
    }
    HANDLE handle = handle_;
    handle_ = nullptr;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// A process started with the three standard handles given; its handles are closed with it.
class StartedProcess {
 public:
  // Whether it inherits every inheritable handle exporthost holds (one it is told of on its
  // command line among them), or the three alone where the system allows.
  enum class Inherits { Everything, StandardHandles };
  // `program` null takes the program from the command line. When it cannot start, started() is
  // false and GetLastError() says why.
  StartedProcess(const char* program, std::string commandLine, HANDLE input, HANDLE output,
                 HANDLE errors, DWORD flags = 0, Inherits inherits = Inherits::Everything);
  ~StartedProcess();
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  [[nodiscard]] bool started() const { return process_.hProcess != nullptr; }
  [[nodiscard]] HANDLE handle() const { return process_.hProcess; }
  [[nodiscard]] HANDLE thread() const { return process_.hThread; }
  // Waits for it to end, and gives its exit code.
  [[nodiscard]] DWORD exitCode() const;

 private:
  PROCESS_INFORMATION process_{};
};

}  // namespace rawout
