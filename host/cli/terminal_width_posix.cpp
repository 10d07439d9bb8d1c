#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal_width.h"

namespace rawout {

std::size_t outputWidth() {
  winsize size{};
  return ::isatty(STDOUT_FILENO) == 1 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
                 size.ws_col > 0
             ? size.ws_col
             : kDefaultWidth;
}

}  // namespace rawout
