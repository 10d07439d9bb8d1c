#include <sys/resource.h>

#include "process/quiet_crash.h"

namespace rawout {

void crashQuietly() {
  const rlimit noCore{0, 0};
  (void)::setrlimit(RLIMIT_CORE, &noCore);
}

}  // namespace rawout
