#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "crash/capture.h"
#include "loader/fault_trap.h"
#include "process/coverage.h"

namespace rawout {

namespace {

const FaultTrap* active = nullptr;
struct sigaction previousSegv {};
struct sigaction previousBus {};

// From the x86 error code where there is one; else taken from a mapped page's refusal, which
// memory lent read-only gives for nothing but a store.
bool isAWrite(int signal, const siginfo_t* info, const void* context) {
  const char access = accessOfFault(info, context);
  return access == '?' ? signal == SIGSEGV && info->si_code == SEGV_ACCERR : access == 'w';
}

void onFault(int signal, siginfo_t* info, void* context) {
  // Only a fault the kernel raised has an address; one sent by raise or kill (si_code 0 or
  // below) is never the trap's, whatever si_addr happens to read as.
  const bool raisedByTheKernel = info->si_code > 0;
  char message[2048];
  const std::size_t length =
      active != nullptr && raisedByTheKernel
          ? active->messageFor(info->si_addr, isAWrite(signal, info, context), message,
                               sizeof message)
          : 0;
  if (length > 0) {
    witnessFault(info, context);  // where it struck, for exporthost to read first
    const std::string& path = active->reportPath();
    const int into = active->reportDescriptor() >= 0 ? active->reportDescriptor()
                     : path.empty()
                         ? STDERR_FILENO
                         : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // A write that fails leaves no one else to tell: the exit status still says it.
    [[maybe_unused]] const ssize_t written = ::write(into, message, length);
    flushCoverageCounts();
    ::_exit(active->exitStatus());
  }
  // Not ours: under the handling it had before, a fault repeats when this returns, and a signal
  // that was sent is sent again.
  ::sigaction(signal, signal == SIGBUS ? &previousBus : &previousSegv, nullptr);
  if (!raisedByTheKernel) {
    witnessFault(info, context);  // where it was sent from, not where it is sent again
    (void)::raise(signal);
  }
}

}  // namespace

void FaultTrap::install() {
  active = this;
  struct sigaction action {};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGSEGV, &action, &previousSegv);
  ::sigaction(SIGBUS, &action, &previousBus);
}

FaultTrap::~FaultTrap() {
  ::sigaction(SIGSEGV, &previousSegv, nullptr);
  ::sigaction(SIGBUS, &previousBus, nullptr);
  active = nullptr;
}

}  // namespace rawout
