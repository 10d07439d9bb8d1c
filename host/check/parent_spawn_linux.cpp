// Check processes on Linux: posix_spawn into a process group of their own, pidfd to wait with a
// time limit, and exporthost as a subreaper so that no descendant can slip away.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "check/parent_spawn.h"
#include "support/coverage.h"
#include "support/interruptible.h"
#include "support/linux_process.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace rawout {

namespace {

pid_t spawn(const std::vector<std::string>& arguments, const std::string& outputFile,
            const std::string& errorsFile) {
  std::vector<std::string> words = {"exporthost"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&stops, signal);
  }
  const bool prepared =
      ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
      ::posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600) == 0 &&
      ::posix_spawn_file_actions_addopen(&actions, 2, errorsFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600) == 0 &&
      ::posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
      ::posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
      ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
      ::posix_spawnattr_setsigdefault(&attributes, &stops) == 0 &&
      ::posix_spawnattr_setflags(
          &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  pid_t pid = -1;
  const int failed =
      prepared ? ::posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, argv.data(), environ)
               : errno;
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (!prepared || failed != 0) {
    throw StartError(std::string("cannot start a check process: ") +
                     std::strerror(prepared ? failed : errno));
  }
  return pid;
}

}  // namespace

ProcessEnd runCheckProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                           const std::string& errorsFile, std::chrono::milliseconds timeout) {
  const pid_t pid = startOwnChild([&] { return spawn(arguments, outputFile, errorsFile); });
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  ProcessEnd end;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  siginfo_t info{};
  for (;;) {
    // Looked at without reaping: the group must not be ended after its id may have been reused.
    info = {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      break;
    }
    if (Interruptible::stopAsked()) {
      end.interrupted = true;
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      end.timedOut = true;
      break;
    }
    // Without a pidfd (kernels before 5.3) the wait is a short sleep at a time.
    pollfd ended{pidfd, POLLIN, 0};
    (void)::poll(pidfd >= 0 ? &ended : nullptr, pidfd >= 0 ? 1 : 0,
                 static_cast<int>(std::min<long long>(left.count(), pidfd >= 0 ? 1000 : 5)));
  }
  ::kill(-pid, SIGKILL);  // the child, if it still runs, and every process left in its group
  siginfo_t reaped{};
  ::waitid(P_PID, static_cast<id_t>(pid), &reaped, WEXITED);
  ownChildEnded(pid);
  if (!end.timedOut && !end.interrupted) {
    end.how = processEnd(info.si_code, info.si_status);
    end.exitStatus = info.si_code == CLD_EXITED ? info.si_status : -1;
  }
  endAdoptedChildren();
  if (pidfd >= 0) {
    ::close(pidfd);
  }
  return end;
}

}  // namespace rawout
