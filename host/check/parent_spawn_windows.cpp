// Check processes on Windows: created suspended inside a job object that ends every process in
// it, waited for with a time limit; Ctrl+C and Ctrl+Break end the wait instead of exporthost.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "check/parent_spawn.h"
#include "support/system_error_text.h"
#include "support/windows_process.h"

namespace rawout {

namespace {

HANDLE stopped = nullptr;  // signalled by the console handler

BOOL WINAPI onConsoleStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  ::SetEvent(stopped);
  return TRUE;  // the main thread ends the process once its folders are gone
}

class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle_);
    }
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  [[nodiscard]] HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The exception's code becomes the exit status, which the parent reports.
LONG WINAPI endWithTheException(EXCEPTION_POINTERS* exception) {
  ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void cannotStart() {
  throw StartError("cannot start a check process: " + describeSystemError(::GetLastError()));
}

}  // namespace

ProcessEnd runCheckProcess(const std::vector<std::string>& arguments, const std::string& outputFile,
                           const std::string& errorsFile, std::chrono::milliseconds timeout) {
  const std::string program = thisProgram();
  std::string commandLine = quotedArgument(program);
  for (const std::string& argument : arguments) {
    commandLine += " " + quotedArgument(argument);
  }
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const Handle input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherited, OPEN_EXISTING, 0, nullptr));
  const Handle output(::CreateFileA(outputFile.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  const Handle errors(::CreateFileA(errorsFile.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  const Handle job(::CreateJobObjectA(nullptr, nullptr));
  if (input.get() == INVALID_HANDLE_VALUE || output.get() == INVALID_HANDLE_VALUE ||
      errors.get() == INVALID_HANDLE_VALUE || job.get() == nullptr) {
    cannotStart();
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  (void)::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                  sizeof limits);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = errors.get();
  PROCESS_INFORMATION process{};
  if (::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                       &process) == 0) {
    cannotStart();
  }
  const Handle child(process.hProcess);
  const Handle thread(process.hThread);
  (void)::AssignProcessToJobObject(job.get(), child.get());
  ::ResumeThread(thread.get());

  ProcessEnd end;
  const HANDLE waited[] = {child.get(), stopped};
  const DWORD count = stopped != nullptr ? 2 : 1;
  const DWORD which =
      ::WaitForMultipleObjects(count, waited, FALSE, static_cast<DWORD>(timeout.count()));
  if (which == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(child.get(), &code);
    end.how = describeExitCode(code);
    end.exitStatus = static_cast<int>(code);
  } else if (which == WAIT_OBJECT_0 + 1) {
    end.interrupted = true;
  } else {
    end.timedOut = true;
  }
  // The child, if it still runs, and every process it started.
  ::TerminateJobObject(job.get(), 1);
  ::WaitForSingleObject(child.get(), INFINITE);
  return end;
}

Interruptible::Interruptible() {
  stopped = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(onConsoleStop, TRUE);
}

Interruptible::~Interruptible() {
  ::SetConsoleCtrlHandler(onConsoleStop, FALSE);
  if (stopped != nullptr) {
    ::CloseHandle(stopped);
    stopped = nullptr;
  }
}

void Interruptible::endAsAsked() {
  constexpr UINT kControlCExit = 0xC000013AU;  // STATUS_CONTROL_C_EXIT
  ::ExitProcess(kControlCExit);
}

void prepareCheckProcess() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(endWithTheException);
}

std::string absolutePath(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      return path;
    }
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace rawout
