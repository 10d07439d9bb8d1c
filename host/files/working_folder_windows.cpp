#include <direct.h>
#include <windows.h>

#include <cstdlib>
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

WorkingFolderMark::WorkingFolderMark() : path_(absolutePath(".")) {}

WorkingFolderMark::~WorkingFolderMark() = default;

bool WorkingFolderMark::enterAgain() const { return enterFolder(path_); }

const char* const kTemporaryFolderVariables = "TMP and TEMP";

bool temporaryFilesInto(const std::string& folder) {
  // GetTempPath reads the process's variables, the C runtime's tmpfile and _tempnam its own copy.
  const std::string windows = folder + "\\";
  return ::SetEnvironmentVariableA("TMP", windows.c_str()) != 0 &&
         ::SetEnvironmentVariableA("TEMP", windows.c_str()) != 0 &&
         ::_putenv_s("TMP", windows.c_str()) == 0 && ::_putenv_s("TEMP", windows.c_str()) == 0;
}

}  // namespace rawout
