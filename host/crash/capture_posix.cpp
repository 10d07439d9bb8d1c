// A fault on any thread: the record is written with write(2), then the whole process stops
// (SIGSTOP), so that exporthost finds every thread where it was; if it is continued instead, the
// fault ends it as it would have.
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>

#include "crash/capture.h"
#include "crash/crash_record.h"
#include "process/coverage.h"

namespace rawout {

namespace {

constexpr std::array kFaults = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
int recordFile = -1;
std::atomic<bool> recorded{false};
std::atomic<std::int64_t> recordingThread{0};

// The access a page fault made, from the x86 error code: a write, an instruction fetch, a read.
char accessOf(int signal, const ucontext_t* context) noexcept {
#if defined(__x86_64__)
  if (signal == SIGSEGV || signal == SIGBUS) {
    const auto error = static_cast<std::uint64_t>(context->uc_mcontext.gregs[REG_ERR]);
    return (error & 0x10U) != 0 ? 'x' : (error & 0x2U) != 0 ? 'w' : 'r';
  }
#else
  (void)signal;
  (void)context;
#endif
  return '?';
}

std::uint64_t pcOf(const ucontext_t* context) noexcept {
#if defined(__x86_64__)
  return static_cast<std::uint64_t>(context->uc_mcontext.gregs[REG_RIP]);
#else
  (void)context;
  return 0;
#endif
}

void onFault(int signal, siginfo_t* info, void* raw) {
  witnessFault(info, raw);
  // Continued, with no one to read the stacks: the fault ends the process as it would have.
  (void)::signal(signal, SIG_DFL);
  if (info->si_code <= 0) {
    (void)::raise(signal);
  }
}

}  // namespace

char accessOfFault(const void* fault, const void* context) noexcept {
  return accessOf(static_cast<const siginfo_t*>(fault)->si_signo,
                  static_cast<const ucontext_t*>(context));
}

void witnessFault(const void* fault, const void* context) noexcept {
  if (recordFile < 0) {
    return;
  }
  // The first fault alone: the same thread's again (a handler that passes it on) is let through;
  // another thread's, as the process stops, waits to be ended with it.
  const auto thread = static_cast<std::int64_t>(::syscall(SYS_gettid));
  if (recorded.exchange(true)) {
    while (thread != recordingThread.load()) {
      ::pause();
    }
    return;
  }
  recordingThread = thread;
  const auto* info = static_cast<const siginfo_t*>(fault);
  static CrashRecord record;
  record.code = static_cast<std::uint32_t>(info->si_signo);
  record.detail = info->si_code;
  record.address = reinterpret_cast<std::uintptr_t>(info->si_addr);  // NOLINT: an address to show
  record.pc = pcOf(static_cast<const ucontext_t*>(context));
  record.thread = thread;
  // Only a fault the kernel raised touched an address; a signal sent has none.
  const bool faulted = info->si_code > 0;
  record.access = faulted ? accessOf(info->si_signo, static_cast<const ucontext_t*>(context)) : '?';
  if (faulted) {
    (void)lentAt(info->si_addr, record.lent, sizeof record.lent);
  }
  record.whole = CrashRecord::kWhole;
  [[maybe_unused]] const ssize_t written = ::pwrite(recordFile, &record, sizeof record, 0);
  flushCoverageCounts();
  ::kill(::getpid(), SIGSTOP);
}

bool captureCrashesInto(const std::string& path) {
  recordFile = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (recordFile < 0) {
    return false;
  }
  // Its own stack, for a fault of a stack that ran out.
  static std::array<char, std::size_t{64} * 1024> alternate;
  stack_t stack{};
  stack.ss_sp = alternate.data();
  stack.ss_size = alternate.size();
  (void)::sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signal : kFaults) {
    (void)::sigaction(signal, &action, nullptr);
  }
  return true;
}

std::string faultWhileUnloading(const std::function<void()>& unload) {
  unload();
  return {};
}

}  // namespace rawout
