#include <cerrno>
#include <cstring>

#include "loader/failure_cause.h"

namespace rawout {

void clearFailureCause() noexcept { errno = 0; }

std::string failureCause() {
  const int cause = errno;
  return cause != 0 ? std::strerror(cause) : std::string();
}

FailureCauseKept::FailureCauseKept() noexcept : error_(errno) {}

FailureCauseKept::~FailureCauseKept() { errno = error_; }

}  // namespace rawout
