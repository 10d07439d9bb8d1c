// The process state as POSIX shows it: signal handling and mask, interval timers, the standard
// descriptors, the floating-point settings, the working folder, locale and environment. Linux's
// own facts (/proc, prctl, the C library's internals) come from process_state_linux.cpp.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cfenv>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "inspect/process_state.h"
#include "process/coverage.h"
#include "process/linux_process.h"

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

// A timer left armed fires in the host later, and its signal ends the host.
void addIntervalTimers(ProcessState& state) {
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
}

// The three standard descriptors: what each holds, its flags and where it stands.
void addStandardDescriptors(ProcessState& state) {
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

void addSettings(ProcessState& state) {
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
}

}  // namespace

std::vector<std::string> heldPointersInto(const AddressRanges& ranges) {
  const auto inside = [&ranges](const void* pointer) { return insideAny(ranges, pointer); };
  std::vector<std::string> held = entriesInside(ranges, environ);
  if (inside(environ)) {
    held.emplace_back("the environment's list");
  }
  detail::addLibraryHeld(ranges, held);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) == 0 &&
        inside(reinterpret_cast<void*>(action.sa_sigaction))) {  // NOLINT: compared only
      held.push_back(signalName(signal) + "'s handler");
    }
  }
  return held;
}

void endAtOnce(int status) {
  flushCoverageCounts();
  std::_Exit(status);
}

ProcessState currentProcessState() {
  ProcessState state;
  addSignals(state);
  addIntervalTimers(state);
  addStandardDescriptors(state);
  addFloatingPoint(state);
  addSettings(state);
  detail::addSystemFacts(state);
  return state;
}

}  // namespace rawout
