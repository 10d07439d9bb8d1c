// The process state as Linux shows it: signal handling, limits, /proc/self for threads, children
// and descriptors, and the floating-point control words.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfenv>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "check/process_state.h"
#include "support/coverage.h"
#include "support/files.h"
#include "support/joined.h"
#include "support/linux_process.h"
#include "support/printable.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace rawout {

namespace {

std::string handling(const struct sigaction& action) {
  // The C library sets SA_RESTORER on every action it installs, the default one too.
  constexpr unsigned kRestorer = 0x04000000;
  const auto flags = static_cast<unsigned>(action.sa_flags) & ~kRestorer;
  // Flags count with the default handling too: SA_NOCLDWAIT on SIGCHLD takes a host's waitpid.
  char flagText[32] = "";
  if (flags != 0) {
    (void)std::snprintf(flagText, sizeof flagText, " flags %#x", flags);
  }
  if ((flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL) {
    return std::string("default") + flagText;
  }
  if ((flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN) {
    return std::string("ignored") + flagText;
  }
  std::string masked;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&action.sa_mask, signal) == 1) {
      masked += " " + signalName(signal);
    }
  }
  char text[64];
  (void)std::snprintf(text, sizeof text, "handler %p",
                      reinterpret_cast<void*>(action.sa_sigaction));  // NOLINT: an address to show
  return text + std::string(flagText) + (masked.empty() ? "" : ", masking" + masked);
}

void addSignals(ProcessState& state) {
  sigset_t mask;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  std::string blocked;
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction action {};
    // glibc keeps two real-time signals for itself and refuses to show them.
    if (::sigaction(signal, nullptr, &action) == 0) {
      state[signalName(signal) + " handling"] = handling(action);
    }
    if (sigismember(&mask, signal) == 1) {
      blocked += (blocked.empty() ? "" : " ") + signalName(signal);
    }
  }
  state["signal mask"] = blocked.empty() ? "empty" : blocked;
}

void addLimits(ProcessState& state) {
  constexpr std::pair<int, const char*> kLimits[] = {{RLIMIT_AS, "RLIMIT_AS"},
                                                     {RLIMIT_CORE, "RLIMIT_CORE"},
                                                     {RLIMIT_CPU, "RLIMIT_CPU"},
                                                     {RLIMIT_DATA, "RLIMIT_DATA"},
                                                     {RLIMIT_FSIZE, "RLIMIT_FSIZE"},
                                                     {RLIMIT_LOCKS, "RLIMIT_LOCKS"},
                                                     {RLIMIT_MEMLOCK, "RLIMIT_MEMLOCK"},
                                                     {RLIMIT_MSGQUEUE, "RLIMIT_MSGQUEUE"},
                                                     {RLIMIT_NICE, "RLIMIT_NICE"},
                                                     {RLIMIT_NOFILE, "RLIMIT_NOFILE"},
                                                     {RLIMIT_NPROC, "RLIMIT_NPROC"},
                                                     {RLIMIT_RSS, "RLIMIT_RSS"},
                                                     {RLIMIT_RTPRIO, "RLIMIT_RTPRIO"},
                                                     {RLIMIT_RTTIME, "RLIMIT_RTTIME"},
                                                     {RLIMIT_SIGPENDING, "RLIMIT_SIGPENDING"},
                                                     {RLIMIT_STACK, "RLIMIT_STACK"}};
  static_assert(std::size(kLimits) == RLIM_NLIMITS, "every resource limit is compared");
  const auto text = [](rlim_t value) {
    return value == RLIM_INFINITY ? std::string("unlimited") : std::to_string(value);
  };
  for (const auto& [resource, name] : kLimits) {
    rlimit limit{};
    if (::getrlimit(resource, &limit) == 0) {
      state[name] = text(limit.rlim_cur) + " " + text(limit.rlim_max);
    }
  }
}

// A timer left armed fires in the host later, and its signal ends the host.
void addTimers(ProcessState& state) {
  constexpr std::pair<int, const char*> kTimers[] = {{ITIMER_REAL, "ITIMER_REAL (alarm)"},
                                                     {ITIMER_VIRTUAL, "ITIMER_VIRTUAL"},
                                                     {ITIMER_PROF, "ITIMER_PROF"}};
  for (const auto& [which, name] : kTimers) {
    itimerval timer{};
    if (::getitimer(which, &timer) == 0) {
      const bool armed = timer.it_value.tv_sec != 0 || timer.it_value.tv_usec != 0;
      state["interval timer " + std::string(name)] =
          armed ? "armed, every " + std::to_string(timer.it_interval.tv_sec) + " s " +
                      std::to_string(timer.it_interval.tv_usec) + " us"
                : "off";
    }
  }
  std::ifstream timers("/proc/self/timers");
  std::string ids;
  for (std::string line; std::getline(timers, line);) {
    if (line.starts_with("ID: ")) {
      ids += (ids.empty() ? "" : " ") + line.substr(4);
    }
  }
  state["POSIX timers"] = ids.empty() ? "none" : ids;
}

// Scheduling, the alternate signal stack and the process's prctl settings.
void addScheduling(ProcessState& state) {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  state["nice value"] = errno == 0 ? std::to_string(nice) : "unknown";
  state["scheduling policy"] = std::to_string(::sched_getscheduler(0));
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  std::string affinity;
  if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &cpus)) {
        affinity += (affinity.empty() ? "" : " ") + std::to_string(cpu);
      }
    }
  }
  state["CPU affinity"] = affinity;
  stack_t alternate{};
  if (::sigaltstack(nullptr, &alternate) == 0) {
    char text[64];
    (void)std::snprintf(text, sizeof text, "%p size %zu flags %#x", alternate.ss_sp,
                        alternate.ss_size, static_cast<unsigned>(alternate.ss_flags));
    state["alternate signal stack"] = (alternate.ss_flags & SS_DISABLE) != 0 ? "none" : text;
  }
  int deathSignal = 0;
  (void)::prctl(PR_GET_PDEATHSIG, &deathSignal);
  state["parent-death signal"] = std::to_string(deathSignal);
  state["dumpable"] = std::to_string(::prctl(PR_GET_DUMPABLE));
  state["no new privileges"] = std::to_string(::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0));
  state["timer slack"] = std::to_string(::prctl(PR_GET_TIMERSLACK));
  char name[17] = {};
  (void)::prctl(PR_GET_NAME, name);
  state["process name"] = name;
  int subreaper = 0;
  (void)::prctl(PR_GET_CHILD_SUBREAPER, &subreaper);
  state["child subreaper"] = std::to_string(subreaper);
  state["keep capabilities"] = std::to_string(::prctl(PR_GET_KEEPCAPS, 0, 0, 0, 0));
  state["secure bits"] = std::to_string(::prctl(PR_GET_SECUREBITS, 0, 0, 0, 0));
  state["transparent huge pages disabled"] =
      std::to_string(::prctl(PR_GET_THP_DISABLE, 0, 0, 0, 0));
  state["machine-check kill policy"] = std::to_string(::prctl(PR_MCE_KILL_GET, 0, 0, 0, 0));
  state["speculation store bypass"] =
      std::to_string(::prctl(PR_GET_SPECULATION_CTRL, PR_SPEC_STORE_BYPASS, 0, 0, 0));
  state["execution domain (personality)"] = std::to_string(::personality(0xffffffff));
  constexpr int kIoprioWhoProcess = 1;
  state["I/O priority"] = std::to_string(::syscall(SYS_ioprio_get, kIoprioWhoProcess, 0));
  state["process group"] = std::to_string(::getpgrp());
  state["session"] = std::to_string(::getsid(0));
}

// Who the process is and what it may do, as /proc/self/status gives it, its namespaces, and how
// readily the kernel ends it when memory runs short: all inherited by the host's later children.
void addIdentity(ProcessState& state) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    const std::size_t colon = line.find(':');
    const std::string field = line.substr(0, colon);
    for (const char* kept : {"Umask", "Uid", "Gid", "Groups", "CapInh", "CapPrm", "CapEff",
                             "CapBnd", "CapAmb", "Seccomp", "Mems_allowed_list"}) {
      if (field == kept && colon != std::string::npos) {
        const std::size_t value = line.find_first_not_of(" \t", colon + 1);
        state[field == "Umask" ? "umask" : "status " + field] =
            value == std::string::npos ? "" : line.substr(value);
      }
    }
  }
  for (const std::string& space : folderEntries("/proc/self/ns")) {
    char target[256];
    const std::string link = "/proc/self/ns/" + space;
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    state["namespace " + space] = length > 0 ? std::string(target, length) : "?";
  }
  state["OOM score adjustment"] = fileContent("/proc/self/oom_score_adj").value_or("?");
}

// How the C library buffers the three standard streams, and their orientation: what the host
// set, it keeps. glibc keeps
// the mode in the stream's flags (its _IO_UNBUFFERED and _IO_LINE_BUF, fixed in its ABI) from
// the start, before any buffer is allocated.
void addBuffering(ProcessState& state) {
#ifdef __GLIBC__
  constexpr int kUnbuffered = 0x0002;
  constexpr int kLineBuffered = 0x0200;
  for (const auto& [stream, name] :
       {std::pair{stdin, "stdin"}, std::pair{stdout, "stdout"}, std::pair{stderr, "stderr"}}) {
    const int flags = stream->_flags;
    state[std::string(name) + " buffering"] = (flags & kUnbuffered) != 0     ? "unbuffered"
                                              : (flags & kLineBuffered) != 0 ? "line-buffered"
                                                                             : "fully buffered";
  }
#endif
  // fwide with 0 asks without changing. Once wide, a stream takes no byte output for its life;
  // byte orientation is what any output gives, which is the quiet check's business.
  for (const auto& [stream, name] :
       {std::pair{stdin, "stdin"}, std::pair{stdout, "stdout"}, std::pair{stderr, "stderr"}}) {
    state[std::string(name) + " orientation"] = ::fwide(stream, 0) > 0 ? "wide" : "not wide";
  }
}

// Whether a thread of this process still runs: one that has ended, and been joined, can still
// be listed for a moment, exiting (PF_EXITING in its flags) or a zombie, until the kernel
// releases it.
bool stillRuns(const std::string& task) {
  std::ifstream stat("/proc/self/task/" + task + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return false;  // released meanwhile
  }
  // The state and the flags follow the name, which is in parentheses and may hold anything.
  const std::size_t nameEnd = line.rfind(')');
  std::istringstream fields(nameEnd != std::string::npos ? line.substr(nameEnd + 1) : "");
  char taskState = 'R';
  std::string skipped;
  unsigned long flags = 0;
  fields >> taskState >> skipped >> skipped >> skipped >> skipped >> skipped >> flags;
  constexpr unsigned long kExiting = 0x4;  // PF_EXITING
  return taskState != 'Z' && taskState != 'X' && (flags & kExiting) == 0;
}

void addProcesses(ProcessState& state) {
  state["threads"] = std::to_string(runningThreads());
  std::set<std::string> children;
  for (const pid_t child : childProcesses()) {
    children.insert(std::to_string(child));
  }
  state["child processes"] = children.empty() ? "none" : joined(children, " ");
}

void addDescriptors(ProcessState& state) {
  for (int descriptor = 0; descriptor <= STDERR_FILENO; ++descriptor) {
    struct stat status {};
    const std::string name = "descriptor " + std::to_string(descriptor);
    if (::fstat(descriptor, &status) != 0) {
      state[name] = "closed";
      continue;
    }
    state[name] =
        "device " + std::to_string(status.st_dev) + " inode " + std::to_string(status.st_ino);
    const int flags = ::fcntl(descriptor, F_GETFL);
    char text[32];
    (void)std::snprintf(text, sizeof text, "%#o", static_cast<unsigned>(flags));
    state[name + " status flags"] = text;
    state[name + " close-on-exec"] =
        (::fcntl(descriptor, F_GETFD) & FD_CLOEXEC) != 0 ? "set" : "clear";
    // Output the plug-in wrote moves the offset too, and that is the quiet check's business: only
    // an offset away from the end of a file is this one's.
    const off_t offset = ::lseek(descriptor, 0, SEEK_CUR);
    state[name + " offset"] = offset < 0 ? "none"
                              : S_ISREG(status.st_mode) && offset == status.st_size
                                  ? "at the end"
                                  : std::to_string(offset);
  }
  // The listing's own descriptor is the one that is open only while it lists.
  std::set<int> stillOpen;
  for (const std::string& descriptor : folderEntries("/proc/self/fd")) {
    if (::fcntl(std::stoi(descriptor), F_GETFD) != -1) {
      stillOpen.insert(std::stoi(descriptor));
    }
  }
  // Each with what it holds, so that a leak names its file; one word an item.
  std::string open;
  for (const int descriptor : stillOpen) {
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    std::string held = length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?";
    std::string word;
    for (const char character : printable(held)) {
      word += character == ' ' ? std::string("\\x20") : std::string(1, character);
    }
    open += (open.empty() ? "" : " ") + std::to_string(descriptor) + "=" + word;
  }
  state["open descriptors"] = open;
}

void addFloatingPoint(ProcessState& state) {
  state["floating-point rounding"] = std::to_string(std::fegetround());
  state["floating-point traps"] = std::to_string(::fegetexcept());
#if defined(__x86_64__) || defined(__i386__)
  unsigned short x87 = 0;
  __asm__ volatile("fnstcw %0" : "=m"(x87));
  char text[32];
  (void)std::snprintf(text, sizeof text, "%#06x", x87);
  state["x87 control word"] = text;
  // The exception flags (the low six bits) record what arithmetic happened, not how it is done.
  constexpr unsigned kFlags = 0x3F;
  (void)std::snprintf(text, sizeof text, "%#06x", __builtin_ia32_stmxcsr() & ~kFlags);
  state["SSE control (MXCSR)"] = text;
#endif
}

}  // namespace

AddressRanges mappingOf(const std::string& path) {
  struct stat module {};
  AddressRanges ranges;
  if (::stat(path.c_str(), &module) != 0) {
    return ranges;
  }
  // "start-end perms offset major:minor inode path": the file by its inode, whatever its name.
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    std::istringstream fields(line);
    std::string span;
    std::string skipped;
    std::string device;
    unsigned long long inode = 0;
    fields >> span >> skipped >> skipped >> device >> inode;
    const std::size_t dash = span.find('-');
    const std::size_t colon = device.find(':');
    if (inode != module.st_ino || dash == std::string::npos || colon == std::string::npos ||
        ::makedev(std::stoul(device.substr(0, colon), nullptr, 16),
                  std::stoul(device.substr(colon + 1), nullptr, 16)) != module.st_dev) {
      continue;
    }
    ranges.emplace_back(std::stoull(span.substr(0, dash), nullptr, 16),
                        std::stoull(span.substr(dash + 1), nullptr, 16));
  }
  return ranges;
}

std::vector<std::string> heldPointersInto(const AddressRanges& ranges) {
  const auto inside = [&ranges](const void* pointer) { return insideAny(ranges, pointer); };
  std::vector<std::string> held = entriesInside(ranges, environ);
  if (inside(environ)) {
    held.emplace_back("the environment's list");
  }
#ifdef __GLIBC__
  for (const auto& [stream, name] :
       {std::pair{stdin, "stdin"}, std::pair{stdout, "stdout"}, std::pair{stderr, "stderr"}}) {
    if (inside(stream->_IO_buf_base)) {
      held.push_back(std::string(name) + "'s buffer");
    }
  }
#endif
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) == 0 &&
        inside(reinterpret_cast<void*>(action.sa_sigaction))) {  // NOLINT: compared only
      held.push_back(signalName(signal) + "'s handler");
    }
  }
  return held;
}

std::size_t runningThreads() {
  std::size_t running = 0;
  for (const std::string& task : folderEntries("/proc/self/task")) {
    running += stillRuns(task) ? 1 : 0;
  }
  return running;
}

void endAtOnce(int status) {
  flushCoverageCounts();
  std::_Exit(status);
}

void adoptOrphans() { (void)::prctl(PR_SET_CHILD_SUBREAPER, 1); }

std::string endProcessesLeftRunning() {
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  std::string left;
  for (const pid_t child : childProcesses()) {
    const std::string name = fileContent("/proc/" + std::to_string(child) + "/comm").value_or("");
    left += (left.empty() ? "" : " ") + std::to_string(child) + " (" +
            printable(name.substr(0, name.find('\n'))) + ")";
  }
  endAdoptedChildren();
  return left;
}

std::string heldOpen(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) {
    return {};
  }
  for (const std::string& entry : folderEntries("/proc/self/fd")) {
    struct stat held {};
    if (::fstat(std::stoi(entry), &held) == 0 && held.st_dev == file.st_dev &&
        held.st_ino == file.st_ino) {
      return "descriptor " + entry;
    }
  }
  return {};
}

ProcessState currentProcessState() {
  ProcessState state;
  addSignals(state);
  addLimits(state);
  addProcesses(state);
  addDescriptors(state);
  addFloatingPoint(state);
  addTimers(state);
  addScheduling(state);
  addBuffering(state);
  // The umask among them, read, not set and put back: umask() would change it for other threads.
  addIdentity(state);
  char folder[4096];
  state["working folder"] = ::getcwd(folder, sizeof folder) != nullptr ? folder : "unknown";
  const char* locale = std::setlocale(LC_ALL, nullptr);
  state["locale"] = locale != nullptr ? locale : "none";
  state["calling thread's locale"] =
      ::uselocale(nullptr) == LC_GLOBAL_LOCALE ? "the global one" : "one of its own";
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    const std::string text = *variable;
    const std::size_t equals = text.find('=');
    state["environment " + text.substr(0, equals)] =
        equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  return state;
}

}  // namespace rawout
