#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>

#include "files/files.h"
#include "process/interruptible.h"
#include "process/linux_process.h"

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

ChildWait waitWithoutReaping(pid_t child,
                             std::optional<std::chrono::steady_clock::time_point> deadline,
                             bool stops, int readable) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  ChildWait end;
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == child) {
      end.code = info.si_code;
      end.status = info.si_status;
      break;
    }
    if (stops) {
      info = {};
      if (::waitid(P_PID, static_cast<id_t>(child), &info, WSTOPPED | WNOHANG) == 0 &&
          info.si_pid == child) {
        end.outcome = ChildWait::Outcome::Stopped;
        break;
      }
    }
    if (Interruptible::stopAsked()) {
      end.outcome = ChildWait::Outcome::Interrupted;
      break;
    }
    long long left = 1000;
    if (deadline) {
      left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline -
                                                                   std::chrono::steady_clock::now())
                 .count();
      if (left <= 0) {
        end.outcome = ChildWait::Outcome::TimedOut;
        break;
      }
    }
    // Without a pidfd (kernels before 5.3) the wait is a short sleep at a time; a stop shows on
    // no pidfd, so one looked for is looked for often.
    pollfd watched[2] = {{pidfd, POLLIN, 0}, {readable, POLLIN, 0}};
    (void)::poll(watched, 2,
                 static_cast<int>(std::min<long long>(left, pidfd >= 0 && !stops ? 1000 : 5)));
    if ((watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      end.outcome = ChildWait::Outcome::Readable;
      break;
    }
  }
  if (pidfd >= 0) {
    ::close(pidfd);
  }
  return end;
}

void adoptOrphansAsSubreaper(bool adopt) { (void)::prctl(PR_SET_CHILD_SUBREAPER, adopt ? 1 : 0); }

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
