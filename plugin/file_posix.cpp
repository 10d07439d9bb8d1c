#include "file_platform.h"

#include <sys/stat.h>
#include <unistd.h>

namespace rawout {

void removeIfRegularFile(const char* fileName) noexcept {
  struct stat status {};
  if (::lstat(fileName, &status) == 0 && S_ISREG(status.st_mode)) {
    ::unlink(fileName);
  }
}

}  // namespace rawout
