// In a build that counts coverage, a process that ends without exit() (a forked save, one the
// fault trap ends, one ended as a signal asks) writes its counts first; in every other build it
// does nothing. POSIX sources only: Windows builds count no coverage.
#pragma once

namespace rawout {

void flushCoverageCounts() noexcept;

}  // namespace rawout
