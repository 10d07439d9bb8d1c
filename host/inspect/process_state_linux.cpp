// The process state only Linux shows: resource limits, /proc/self for threads, children, open
// descriptors, timers, identity and mappings, the prctl settings, and what glibc keeps inside its
// streams.
#include <fcntl.h>
#include <sched.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "files/files.h"
#include "inspect/process_state.h"
#include "process/linux_process.h"
#include "text/joined.h"
#include "text/printable.h"

namespace rawout {

namespace {

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

// POSIX timers (timer_create) as the kernel lists them.
void addPosixTimers(ProcessState& state) {
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
#if defined(__x86_64__) || defined(__i386__)
  int timeStampCounter = 0;
  (void)::prctl(PR_GET_TSC, &timeStampCounter);
  state["time-stamp counter (PR_GET_TSC)"] = std::to_string(timeStampCounter);
#endif
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

// Every open descriptor, from /proc/self/fd.
void addOpenDescriptors(ProcessState& state) {
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

}  // namespace

void detail::addSystemFacts(ProcessState& state) {
  addLimits(state);
  addPosixTimers(state);
  addProcesses(state);
  addOpenDescriptors(state);
  addScheduling(state);
  addBuffering(state);
  // The umask among them, read, not set and put back: umask() would change it for other threads.
  addIdentity(state);
}

void detail::addLibraryHeld(const AddressRanges& ranges, std::vector<std::string>& held) {
#ifdef __GLIBC__
  for (const auto& [stream, name] :
       {std::pair{stdin, "stdin"}, std::pair{stdout, "stdout"}, std::pair{stderr, "stderr"}}) {
    if (insideAny(ranges, stream->_IO_buf_base)) {
      held.push_back(std::string(name) + "'s buffer");
    }
  }
#endif
}

std::string stillMappedAfterUnload() { return {}; }

void watchForLateCallbacks() {}

std::string lateCallbackInto(const AddressRanges& /*ranges*/) { return {}; }

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

std::size_t runningThreads() {
  std::size_t running = 0;
  for (const std::string& task : folderEntries("/proc/self/task")) {
    running += stillRuns(task) ? 1 : 0;
  }
  return running;
}

void adoptOrphans() { adoptOrphansAsSubreaper(true); }

void leaveOrphansToTheParent() { adoptOrphansAsSubreaper(false); }

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

std::string damagedHeap() { return {}; }

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

}  // namespace rawout
