#include <windows.h>

#include "cli/terminal_width.h"

namespace rawout {

std::size_t outputWidth() {
  CONSOLE_SCREEN_BUFFER_INFO console{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &console) == 0) {
    return kDefaultWidth;  // not a console: a file or a pipe
  }
  const int columns = console.srWindow.Right - console.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : kDefaultWidth;
}

}  // namespace rawout
