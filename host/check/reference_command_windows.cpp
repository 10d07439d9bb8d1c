#include <windows.h>

#include <stdexcept>

#include "check/reference_command.h"
#include "support/quoted_name.h"
#include "support/system_error_text.h"

namespace rawout {

void runReference(const std::string& command, const std::string& input, const std::string& output) {
  const std::string failed = "the reference command " + quotedName(command);
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE in = ::CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherited, OPEN_EXISTING,
                            0, nullptr);
  HANDLE out = ::CreateFileA(output.c_str(), GENERIC_WRITE, 0, &inherited, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  // cmd takes the rest of its line as the command, as typed.
  std::string line = "cmd.exe /d /c " + command;
  PROCESS_INFORMATION process{};
  const bool started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE &&
                       ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process) != 0;
  const DWORD cause = ::GetLastError();
  for (HANDLE handle : {in, out}) {
    if (handle != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle);
    }
  }
  if (!started) {
    throw std::runtime_error(failed + " cannot be run: " + describeSystemError(cause));
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  if (code != 0) {
    throw std::runtime_error(failed + " failed (exit status " + std::to_string(code) +
                             "); it must write the expected file from the block on its standard "
                             "input");
  }
}

}  // namespace rawout
