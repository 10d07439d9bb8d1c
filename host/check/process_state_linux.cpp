// The process state as Linux shows it: signal handling, limits, /proc/self for threads, children
// and descriptors, and the floating-point control words.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfenv>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>

#include "check/process_state.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace rawout {

namespace {

std::string signalName(int signal) {
  const char* abbreviation = ::sigabbrev_np(signal);
  return abbreviation != nullptr ? std::string("SIG") + abbreviation
                                 : "signal " + std::to_string(signal);
}

std::string handling(const struct sigaction& action) {
  if ((action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL) {
    return "default";
  }
  if ((action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN) {
    return "ignored";
  }
  char text[64];
  (void)std::snprintf(text, sizeof text, "handler %p flags %#x",
                      reinterpret_cast<void*>(action.sa_sigaction),  // NOLINT: an address to show
                      static_cast<unsigned>(action.sa_flags));
  return text;
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
  constexpr std::pair<int, const char*> kLimits[] = {
      {RLIMIT_AS, "RLIMIT_AS"},         {RLIMIT_CORE, "RLIMIT_CORE"},
      {RLIMIT_CPU, "RLIMIT_CPU"},       {RLIMIT_DATA, "RLIMIT_DATA"},
      {RLIMIT_FSIZE, "RLIMIT_FSIZE"},   {RLIMIT_MEMLOCK, "RLIMIT_MEMLOCK"},
      {RLIMIT_NOFILE, "RLIMIT_NOFILE"}, {RLIMIT_NPROC, "RLIMIT_NPROC"},
      {RLIMIT_STACK, "RLIMIT_STACK"}};
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

std::string joined(const std::set<std::string>& names) {
  std::string text;
  for (const auto& name : names) {
    text += (text.empty() ? "" : " ") + name;
  }
  return text.empty() ? "none" : text;
}

void addProcesses(ProcessState& state) {
  const std::set<std::string> tasks = folderEntries("/proc/self/task");
  state["threads"] = std::to_string(tasks.size());
  std::set<std::string> children;
  for (const std::string& task : tasks) {
    std::ifstream listed("/proc/self/task/" + task + "/children");
    for (std::string child; listed >> child;) {
      children.insert(child);
    }
  }
  state["child processes"] = joined(children);
}

void addDescriptors(ProcessState& state) {
  for (int descriptor = 0; descriptor <= STDERR_FILENO; ++descriptor) {
    struct stat status {};
    state["descriptor " + std::to_string(descriptor)] =
        ::fstat(descriptor, &status) != 0
            ? std::string("closed")
            : "device " + std::to_string(status.st_dev) + " inode " + std::to_string(status.st_ino);
  }
  // The listing's own descriptor is the one that is open only while it lists.
  std::set<int> stillOpen;
  for (const std::string& descriptor : folderEntries("/proc/self/fd")) {
    if (::fcntl(std::stoi(descriptor), F_GETFD) != -1) {
      stillOpen.insert(std::stoi(descriptor));
    }
  }
  std::string open;
  for (const int descriptor : stillOpen) {
    open += (open.empty() ? "" : " ") + std::to_string(descriptor);
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

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  while (listing != nullptr) {
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.insert(name);
    }
  }
  if (listing != nullptr) {
    ::closedir(listing);
  }
  return names;
}

ProcessState currentProcessState() {
  ProcessState state;
  addSignals(state);
  addLimits(state);
  addProcesses(state);
  addDescriptors(state);
  addFloatingPoint(state);
  char folder[4096];
  state["working folder"] = ::getcwd(folder, sizeof folder) != nullptr ? folder : "unknown";
  // Read, not set and put back: umask() would change it for other threads meanwhile.
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Umask:")) {
      state["umask"] = line.substr(line.find_first_not_of(" \t", 6));
    }
  }
  const char* locale = std::setlocale(LC_ALL, nullptr);
  state["locale"] = locale != nullptr ? locale : "none";
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    const std::string text = *variable;
    const std::size_t equals = text.find('=');
    state["environment " + text.substr(0, equals)] =
        equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  return state;
}

}  // namespace rawout
