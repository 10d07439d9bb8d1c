#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "file_platform.h"

namespace rawout {

void clearCause() noexcept {}

Cause causeOf(Failure failure) noexcept {
  switch (failure) {
    case Failure::NullArgument:
    case Failure::InvalidName:
      return {EINVAL};
    case Failure::NameTooLong:
      return {ENAMETOOLONG};
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

WriteSignalGuard::WriteSignalGuard() noexcept {
  const sigset_t signals = writeSignals();
  guarded_ = ::pthread_sigmask(SIG_BLOCK, &signals, &hostMask_) == 0;
}

WriteSignalGuard::~WriteSignalGuard() {
  if (guarded_) {
    (void)::pthread_sigmask(SIG_SETMASK, &hostMask_, nullptr);
  }
}

void WriteSignalGuard::absorb(int error) noexcept {
  const int raised = error == EPIPE ? SIGPIPE : error == EFBIG ? SIGXFSZ : 0;
  // A signal the host blocks itself stays pending, as it would after the host's own write.
  if (!guarded_ || raised == 0 || sigismember(&hostMask_, raised) == 1) {
    return;
  }
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, raised);
  const timespec now{};
  while (::sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
  }
  errno = error;
}

}  // namespace rawout
