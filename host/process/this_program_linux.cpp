#include <unistd.h>

#include <cstdio>

#include "process/coverage.h"
#include "process/this_program.h"

namespace rawout {

std::string thisProgram() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    return {};
  }
  path.resize(static_cast<std::size_t>(length));
  return path;
}

void endWithoutUnloading(int status) {
  (void)std::fflush(nullptr);
  flushCoverageCounts();
  ::_exit(status);
}

}  // namespace rawout
