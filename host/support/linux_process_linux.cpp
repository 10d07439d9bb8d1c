#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "support/files.h"
#include "support/linux_process.h"

namespace rawout {

std::string signalName(int signal) {
  const char* abbreviation = ::sigabbrev_np(signal);
  return abbreviation != nullptr ? std::string("SIG") + abbreviation
                                 : "signal " + std::to_string(signal);
}

std::string processEnd(int waitStatus) {
  return WIFEXITED(waitStatus) ? processEnd(CLD_EXITED, WEXITSTATUS(waitStatus))
                               : processEnd(CLD_KILLED, WTERMSIG(waitStatus));
}

std::string processEnd(int code, int status) {
  return code == CLD_EXITED ? "exit status " + std::to_string(status)
                            : "killed by " + signalName(status);
}

std::vector<pid_t> childProcesses() {
  std::vector<pid_t> children;
  for (const std::string& task : folderEntries("/proc/self/task")) {
    std::ifstream listed("/proc/self/task/" + task + "/children");
    for (pid_t child = 0; listed >> child;) {
      children.push_back(child);
    }
  }
  return children;
}

void endAdoptedChildren() {
  for (bool found = true; found;) {
    found = false;
    for (const pid_t child : childProcesses()) {
      found = true;
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
  }
}

}  // namespace rawout
