// A check runs in a child process of exporthost, so that whatever the plug-in does to its process
// (ending it, hanging, closing descriptors, leaving processes behind) cannot reach the report.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "checks/verdict.h"

namespace rawout {

struct ProcessEnd {
  bool timedOut = false;
  bool interrupted = false;  // exporthost itself was asked to stop; the child has been ended
  std::string how;           // "exit status 3", "killed by SIGSEGV", "exception 0xC0000005"
  int exitStatus = -1;       // for a process that exited (on Windows, any exit code); else -1
  // What it was doing as it faulted ("segmentation fault (SIGSEGV): ..." and its calls), or as
  // the time ran out (the calls of each of the plug-in's threads); empty when nothing could be
  // read. A fault the check process caught itself still has them.
  std::string fault;
  std::vector<Verdict::Detail> details;
};

// Where a check process is told to leave what it says: its standard output and error, and the
// record of a fault.
struct CheckProcessFiles {
  std::string output;
  std::string errors;
  std::string crash;
  std::string plugin;  // the module checked, whose threads a hang names
};

// No check process could be started: nothing of the plug-in ran.
struct StartError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs this program with `arguments` (argv[1] on) in a process group (on Windows, a job) of its
// own, with no input and its output and errors into `files`, and waits up to `timeout` for it to
// end. A process that faults (and waits, stopped) or runs out of time is read where it is, first.
// Then ends it, if it still runs, and every process it started, by their ids. Throws StartError
// when no process can be started.
ProcessEnd runCheckProcess(const std::vector<std::string>& arguments,
                           const CheckProcessFiles& files, std::chrono::milliseconds timeout);

}  // namespace rawout
