#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>

#include "file_platform.h"

namespace rawout {

// "e": close-on-exec.
extern const char kWriteMode[] = "wbe";
// Terminator included, as the kernel counts it.
extern const std::size_t kMaxFileNameBytes = PATH_MAX;

void clearCause() noexcept {}

Cause causeOf(Failure failure) noexcept {
  switch (failure) {
    case Failure::NullArgument:
    case Failure::InvalidName:
      return {EINVAL};
    case Failure::NameTooLong:
      return {ENAMETOOLONG};
    case Failure::NoMemory:
      return {ENOMEM};
    default:
      return {errno};
  }
}

int report(const Cause& cause) noexcept {
  errno = cause.error;
  return 0;
}

void removeIfRegularFile(const char* fileName) noexcept {
  struct stat status {};
  if (::lstat(fileName, &status) == 0 && S_ISREG(status.st_mode)) {
    ::unlink(fileName);
  }
}

namespace {

sigset_t writeSignals() noexcept {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGPIPE);
  sigaddset(&signals, SIGXFSZ);
  return signals;
}

}  // namespace

bool namesAPlainFile(const char* /*fileName*/) noexcept { return true; }

// SIGPIPE (reader gone) and SIGXFSZ (file-size limit) that a failed write raises are blocked on
// the calling thread meanwhile, and the one a failed write raised is absorbed unless the host had
// it blocked already, so that it stays pending as after the host's own write.
bool writeBlock(std::FILE* file, const void* data, std::size_t size, Cause& cause) noexcept {
  const sigset_t signals = writeSignals();
  sigset_t hostMask;
  const bool guarded = ::pthread_sigmask(SIG_BLOCK, &signals, &hostMask) == 0;
  clearCause();
  const bool written = writeWhole(file, data, size);
  if (!written) {
    cause = causeOf(Failure::Write);
    const int raised = cause.error == EPIPE ? SIGPIPE : cause.error == EFBIG ? SIGXFSZ : 0;
    if (guarded && raised != 0 && sigismember(&hostMask, raised) == 0) {
      sigset_t only;
      sigemptyset(&only);
      sigaddset(&only, raised);
      const timespec now{};
      while (::sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
  }
  if (guarded) {
    (void)::pthread_sigmask(SIG_SETMASK, &hostMask, nullptr);
  }
  return written;
}

}  // namespace rawout
