#include "process/coverage.h"

// libgcov's, present only in a build made with --coverage (whose preset has the linker pull it in:
// a weak reference alone does not).
extern "C" void __gcov_dump() __attribute__((weak));  // NOLINT(bugprone-reserved-identifier)

namespace rawout {

void flushCoverageCounts() noexcept {
  if (__gcov_dump != nullptr) {
    __gcov_dump();
  }
}

}  // namespace rawout
