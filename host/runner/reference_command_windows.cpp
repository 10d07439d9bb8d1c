#include <windows.h>

#include <mutex>
#include <optional>
#include <stdexcept>

#include "process/windows_process.h"
#include "runner/reference_command.h"
#include "text/quoted_name.h"
#include "text/system_error_text.h"

namespace rawout {

void runReference(const std::string& command, const std::string& input, const std::string& output,
                  const std::string& baseName) {
  const std::string failed = "the reference command " + quotedName(command);
  std::optional<StartedProcess> process;
  {
    const std::lock_guard<std::mutex> starting(processStartLock());
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE in = ::CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherited,
                              OPEN_EXISTING, 0, nullptr);
    HANDLE out = ::CreateFileA(output.c_str(), GENERIC_WRITE, 0, &inherited, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto closeBoth = [in, out] {
      for (HANDLE handle : {in, out}) {
        if (handle != INVALID_HANDLE_VALUE) {
          ::CloseHandle(handle);
        }
      }
    };
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
      const DWORD cause = ::GetLastError();
      closeBoth();
      throw std::runtime_error(failed + " cannot be run: " + describeSystemError(cause));
    }
    // The command inherits exporthost's environment, with the base name in it for as long as it
    // starts; the lock keeps every other process from starting then.
    (void)::SetEnvironmentVariableA(kBaseNameVariable, baseName.c_str());
    // cmd takes the rest of its line as the command, as typed.
    process.emplace(nullptr, "cmd.exe /d /c " + command, in, out, ::GetStdHandle(STD_ERROR_HANDLE),
                    0, StartedProcess::Inherits::StandardHandles);
    const DWORD cause = ::GetLastError();
    (void)::SetEnvironmentVariableA(kBaseNameVariable, nullptr);
    closeBoth();
    if (!process->started()) {
      throw std::runtime_error(failed + " cannot be run: " + describeSystemError(cause));
    }
  }
  const DWORD code = process->exitCode();
  if (code != 0) {
    throw std::runtime_error(failed + " failed (exit status " + std::to_string(code) +
                             "); it must write the expected file from the block on its standard "
                             "input");
  }
}

}  // namespace rawout
