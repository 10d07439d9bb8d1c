#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "process/this_program.h"

namespace rawout {

std::string thisProgram() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    // A name that fills the buffer may have been cut short.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void endWithoutUnloading(int status) {
  (void)std::fflush(nullptr);
  (void)::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
  std::_Exit(status);
}

}  // namespace rawout
