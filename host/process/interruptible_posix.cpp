#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "process/coverage.h"
#include "process/interruptible.h"
#include "process/linux_process.h"

namespace rawout {

namespace {

constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> stopSignal{0};
std::array<struct sigaction, kStopSignals.size()> previousHandling{};
sigset_t previousMask{};  // the calling thread's, while an Interruptible lives

void onStop(int signal) { stopSignal = signal; }

sigset_t pipeSignal() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  return pipe;
}

void restoreHandling() {
  for (std::size_t index = 0; index < kStopSignals.size(); ++index) {
    ::sigaction(kStopSignals[index], &previousHandling[index], nullptr);
  }
}

}  // namespace

Interruptible::Interruptible() {
  adoptOrphansAsSubreaper(true);
  struct sigaction action {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  for (std::size_t index = 0; index < kStopSignals.size(); ++index) {
    ::sigaction(kStopSignals[index], &action, &previousHandling[index]);
  }
  const sigset_t pipe = pipeSignal();
  ::pthread_sigmask(SIG_BLOCK, &pipe, &previousMask);
}

Interruptible::~Interruptible() {
  restoreHandling();
  // A SIGPIPE that a failed write left pending has been answered by the write's error.
  const sigset_t pipe = pipeSignal();
  const timespec none{0, 0};
  while (sigismember(&previousMask, SIGPIPE) == 0 && ::sigtimedwait(&pipe, nullptr, &none) > 0) {
  }
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  adoptOrphansAsSubreaper(false);
}

bool Interruptible::stopAsked() { return stopSignal != 0; }

void Interruptible::forgetInChild() {
  restoreHandling();
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

void Interruptible::endAsAsked() {
  const int signal = stopSignal;
  flushCoverageCounts();
  (void)::signal(signal, SIG_DFL);
  (void)::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace rawout
