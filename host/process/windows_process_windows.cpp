#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "process/windows_process.h"

namespace rawout {

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
                               HANDLE output, HANDLE errors, DWORD flags, Inherits inherits) {
  // The three handles alone, not every inheritable one exporthost holds at the time (a file
  // another thread has open, as the C runtime's files are inheritable).
  std::vector<HANDLE> handles;
  for (HANDLE handle : {input, output, errors}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        std::find(handles.begin(), handles.end(), handle) == handles.end()) {
      handles.push_back(handle);
    }
  }
  SIZE_T bytes = 0;
  (void)::InitializeProcThreadAttributeList(nullptr, 1, 0, &bytes);
  std::vector<unsigned char> storage(bytes);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  const bool made =
      !storage.empty() && ::InitializeProcThreadAttributeList(attributes, 1, 0, &bytes);
  const bool listed =
      made && inherits == Inherits::StandardHandles && !handles.empty() &&
      ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                  handles.size() * sizeof(HANDLE), nullptr, nullptr);
  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = attributes;
  bool started = listed && ::CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE,
                                            flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                            &startup.StartupInfo, &process_) != 0;
  if (!started) {
    // A handle the list refuses (one not inheritable, as a console's may be): every
    // inheritable handle, as before such lists.
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    started = ::CreateProcessA(program, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                               nullptr, &startup.StartupInfo, &process_) != 0;
  }
  if (made) {
    ::DeleteProcThreadAttributeList(attributes);
  }
  if (!started) {
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
