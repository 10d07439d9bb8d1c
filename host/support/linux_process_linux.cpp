#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

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

namespace {

// The children threads started and wait for, and the lock a sweep holds.
struct OwnChildren {
  std::mutex lock;
  std::set<pid_t> started;
};
OwnChildren& ownChildren() {
  static OwnChildren children;
  return children;
}

}  // namespace

pid_t startOwnChild(const std::function<pid_t()>& start) {
  OwnChildren& own = ownChildren();
  const std::lock_guard<std::mutex> held(own.lock);
  const pid_t child = start();
  if (child > 0) {
    own.started.insert(child);
  }
  return child;
}

void ownChildEnded(pid_t child) {
  OwnChildren& own = ownChildren();
  const std::lock_guard<std::mutex> held(own.lock);
  own.started.erase(child);
}

void endAdoptedChildren() {
  OwnChildren& own = ownChildren();
  const std::lock_guard<std::mutex> held(own.lock);
  for (bool found = true; found;) {
    found = false;
    for (const pid_t child : childProcesses()) {
      if (own.started.contains(child)) {
        continue;
      }
      found = true;
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
  }
}

}  // namespace rawout
