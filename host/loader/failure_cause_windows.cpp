#include <windows.h>

#include <cerrno>

#include "loader/failure_cause.h"
#include "text/system_error_text.h"

namespace rawout {

void clearFailureCause() noexcept { ::SetLastError(ERROR_SUCCESS); }

std::string failureCause() {
  const DWORD cause = ::GetLastError();
  return cause != ERROR_SUCCESS ? describeSystemError(cause) : std::string();
}

FailureCauseKept::FailureCauseKept() noexcept : error_(errno), system_(::GetLastError()) {}

FailureCauseKept::~FailureCauseKept() {
  errno = error_;
  ::SetLastError(system_);
}

}  // namespace rawout
