// Check processes on Windows: created suspended inside a job object that ends every process in
// it, waited for with a time limit, or until a stop is asked for.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "process/this_program.h"
#include "process/windows_process.h"
#include "runner/parent_spawn.h"
#include "text/system_error_text.h"

namespace rawout {

namespace {

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
  const Handle job(::CreateJobObjectA(nullptr, nullptr));
  if (job.get() == nullptr) {
    cannotStart();
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  (void)::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                  sizeof limits);
  std::optional<StartedProcess> child;
  {
    const std::lock_guard<std::mutex> starting(processStartLock());
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const Handle input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherited, OPEN_EXISTING, 0, nullptr));
    const Handle output(::CreateFileA(outputFile.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    const Handle errors(::CreateFileA(errorsFile.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (input.get() == INVALID_HANDLE_VALUE || output.get() == INVALID_HANDLE_VALUE ||
        errors.get() == INVALID_HANDLE_VALUE) {
      cannotStart();
    }
    child.emplace(program.c_str(), commandLine, input.get(), output.get(), errors.get(),
                  CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP,
                  StartedProcess::Inherits::StandardHandles);
    if (!child->started()) {
      cannotStart();
    }
  }
  (void)::AssignProcessToJobObject(job.get(), child->handle());
  ::ResumeThread(child->thread());

  ProcessEnd end;
  const HANDLE waited[] = {child->handle(), stopEvent()};
  const DWORD count = stopEvent() != nullptr ? 2 : 1;
  const DWORD which =
      ::WaitForMultipleObjects(count, waited, FALSE, static_cast<DWORD>(timeout.count()));
  if (which == WAIT_OBJECT_0) {
    const DWORD code = child->exitCode();
    end.how = describeExitCode(code);
    end.exitStatus = static_cast<int>(code);
  } else if (which == WAIT_OBJECT_0 + 1) {
    end.interrupted = true;
  } else {
    end.timedOut = true;
  }
  // The child, if it still runs, and every process it started.
  ::TerminateJobObject(job.get(), 1);
  ::WaitForSingleObject(child->handle(), INFINITE);
  return end;
}

}  // namespace rawout
