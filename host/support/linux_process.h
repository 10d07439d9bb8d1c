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

}  // namespace rawout
