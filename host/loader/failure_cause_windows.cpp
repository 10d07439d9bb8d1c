#include <windows.h>

#include "loader/failure_cause.h"
#include "text/system_error_text.h"

namespace rawout {

void clearFailureCause() noexcept { ::SetLastError(ERROR_SUCCESS); }

std::string failureCause() {
  const DWORD cause = ::GetLastError();
  return cause != ERROR_SUCCESS ? describeSystemError(cause) : std::string();
}

}  // namespace rawout
