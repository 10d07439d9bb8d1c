// A check runs in a child process of exporthost, so that whatever the plug-in does to its process
// (ending it, hanging, closing descriptors, leaving processes behind) cannot reach the report.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace rawout {

struct ProcessEnd {
  bool timedOut = false;
  bool interrupted = false;  // exporthost itself was asked to stop; the child has been ended
  std::string how;           // "exit status 3", "killed by SIGSEGV", "exception 0xC0000005"
  int exitStatus = -1;       // for a process that exited (on Windows, any exit code); else -1
};

// No check process could be started: nothing of the plug-in ran.
struct StartError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs this program with `arguments` (argv[1] on) in a process group (on Windows, a job) of its
// own, with no input, its output into `outputFile` and its errors into `errorsFile`, and waits up
// to `timeout` for it to end. Then ends it, if it still runs, and every process it started, by
// their ids. Throws StartError when no process can be started.
ProcessEnd runCheckProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                           const std::string& errorsFile, std::chrono::milliseconds timeout);

}  // namespace rawout
