#include <direct.h>
#include <windows.h>

#include <stdexcept>

#include "files/working_folder.h"
#include "text/quoted_name.h"
#include "text/system_error_text.h"

namespace rawout {

std::string absolutePath(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      throw std::runtime_error("cannot name the working folder, from which " + quotedName(path) +
                               " is named: " + describeSystemError(::GetLastError()));
    }
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

bool enterFolder(const std::string& folder) { return ::_chdir(folder.c_str()) == 0; }

}  // namespace rawout
