#include <sys/resource.h>

#include <csignal>

#include "inspect/write_limit.h"
#include "runner/protocol.h"

namespace rawout {

std::string WriteLimit::unsupported() { return {}; }

WriteLimit::WriteLimit(std::size_t bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    throw CheckTrouble("cannot read the file-size limit");
  }
  previousLimit_ = limit.rlim_cur;
  limit.rlim_cur = bytes;
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
    throw CheckTrouble("cannot set a file-size limit");
  }
  // Ignored while the limit holds, so that a write past it fails (EFBIG) and ends nothing.
  previousHandling_ = reinterpret_cast<void*>(std::signal(SIGXFSZ, SIG_IGN));  // NOLINT
}

WriteLimit::~WriteLimit() {
  rlimit limit{};
  (void)::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previousLimit_;
  (void)::setrlimit(RLIMIT_FSIZE, &limit);
  (void)std::signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(previousHandling_));  // NOLINT
}

}  // namespace rawout
