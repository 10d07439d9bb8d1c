// Check processes on Linux: posix_spawn into a process group of their own, pidfd to wait with a
// time limit, and exporthost as a subreaper so that no descendant can slip away.
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "process/coverage.h"
#include "process/interruptible.h"
#include "process/linux_process.h"
#include "runner/parent_spawn.h"
#include "runner/stopped_check.h"

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

// A stopped process's stacks are read before it ends; how long a stop may take to show.
constexpr std::chrono::milliseconds kStopping{2000};

// Stops a process that ran out of time and says where the plug-in's threads were.
void readWhereStopped(pid_t pid, const CheckProcessFiles& files, ProcessEnd& end) {
  ::kill(pid, SIGSTOP);
  const ChildWait stopped =
      waitWithoutReaping(pid, std::chrono::steady_clock::now() + kStopping, true);
  if (stopped.outcome == ChildWait::Outcome::Stopped) {
    readThreads(pid, files.plugin, end);
  }
}

}  // namespace

ProcessEnd runCheckProcess(const std::vector<std::string>& arguments,
                           const CheckProcessFiles& files, std::chrono::milliseconds timeout) {
  const pid_t pid = startOwnChild([&] { return spawn(arguments, files.output, files.errors); });
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  ProcessEnd end;
  ChildWait waited;
  bool faultRead = false;
  for (;;) {
    waited = waitWithoutReaping(pid, deadline, true);
    if (waited.outcome != ChildWait::Outcome::Stopped) {
      break;
    }
    // A fault, recorded once: read, then the process goes on to the end the fault gives it. A
    // stop it did not make goes on too.
    if (!faultRead) {
      if (const auto record = crashRecordIn(files.crash)) {
        readFault(pid, *record, end);
        faultRead = true;
      }
    }
    ::kill(pid, SIGCONT);
  }
  end.timedOut = waited.outcome == ChildWait::Outcome::TimedOut;
  end.interrupted = waited.outcome == ChildWait::Outcome::Interrupted;
  if (end.timedOut && !faultRead) {
    readWhereStopped(pid, files, end);
  }
  ::kill(-pid, SIGKILL);  // the child, if it still runs, and every process left in its group
  siginfo_t reaped{};
  ::waitid(P_PID, static_cast<id_t>(pid), &reaped, WEXITED);
  ownChildEnded(pid);
  if (waited.outcome == ChildWait::Outcome::Ended) {
    end.how = processEnd(waited.code, waited.status);
    end.exitStatus = waited.code == CLD_EXITED ? waited.status : -1;
  }
  endAdoptedChildren();
  return end;
}

}  // namespace rawout
