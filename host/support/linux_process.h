// What Linux says of processes, in the words exporthost reports them in. Linux sources only.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace rawout {

// "SIGSEGV", or "signal 77" for a number the C library has no name for.
std::string signalName(int signal);

// How a process ended, from waitpid's status: "exit status 3" or "killed by SIGSEGV".
std::string processEnd(int waitStatus);
// The same from waitid's report: `code` is si_code, `status` si_status.
std::string processEnd(int code, int status);

// The children of every thread of this process, from /proc/self/task/*/children.
std::vector<pid_t> childProcesses();

// Ends every child of this process, and reaps it: the orphans it adopted as a subreaper among
// them, so the caller must have started no other that is still wanted. Ending one hands its own
// children to this process in turn, so the sweep goes on until a pass finds none.
void endAdoptedChildren();

}  // namespace rawout
