#include <windows.h>

#include <cstdio>

#include "support/windows_process.h"

namespace rawout {

std::string quotedArgument(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char character : argument) {
    if (character == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(character == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += character;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string thisProgram() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string describeExitCode(unsigned long code) {
  char text[48];
  if (code >= 0xC0000000UL) {
    (void)std::snprintf(text, sizeof text, "exception 0x%08lX", code);
  } else {
    (void)std::snprintf(text, sizeof text, "exit status %lu", code);
  }
  return text;
}

std::mutex& processStartLock() {
  static std::mutex lock;
  return lock;
}

StartedProcess::StartedProcess(const char* program, std::string commandLine, HANDLE input,
                               HANDLE output, HANDLE errors, DWORD flags) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  if (::CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                       &startup, &process_) == 0) {
    process_ = {};
  }
}

StartedProcess::~StartedProcess() {
  for (HANDLE handle : {process_.hProcess, process_.hThread}) {
    if (handle != nullptr) {
      ::CloseHandle(handle);
    }
  }
}

DWORD StartedProcess::exitCode() const {
  ::WaitForSingleObject(process_.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

}  // namespace rawout
