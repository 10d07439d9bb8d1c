// Check processes on Windows: created suspended inside a job object that ends every process in
// it, waited for with a time limit, or until a stop is asked for; one that faults says so through
// an event named for it, and waits until its stacks have been read.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "crash/events.h"
#include "process/this_program.h"
#include "process/windows_process.h"
#include "runner/parent_spawn.h"
#include "runner/stopped_check.h"
#include "text/shell_word.h"
#include "text/system_error_text.h"

namespace rawout {

namespace {

[[noreturn]] void cannotStart() {
  throw StartError("cannot start a check process: " + describeSystemError(::GetLastError()));
}

// The events a check process that faults signals and waits on, made before it runs.
class FaultEvents {
 public:
  explicit FaultEvents(DWORD process)
      : faulted_(::CreateEventA(nullptr, FALSE, FALSE, CrashEvents(process).faulted().c_str())),
        read_(::CreateEventA(nullptr, FALSE, FALSE, CrashEvents(process).read().c_str())) {}
  [[nodiscard]] HANDLE faulted() const { return faulted_.get(); }
  [[nodiscard]] HANDLE read() const { return read_.get(); }

 private:
  OwnedHandle faulted_;
  OwnedHandle read_;
};

// Waits for the child to end, reading a fault it reports on the way, until `deadline`.
DWORD waitReadingFaults(const StartedProcess& child, const FaultEvents& events,
                        const std::string& crashFile,
                        std::chrono::steady_clock::time_point deadline, ProcessEnd& end) {
  std::vector<HANDLE> waited = {child.handle()};
  if (stopEvent() != nullptr) {
    waited.push_back(stopEvent());
  }
  if (events.faulted() != nullptr) {
    waited.push_back(events.faulted());
  }
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const DWORD which =
        ::WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), FALSE,
                                 static_cast<DWORD>(std::max<long long>(left.count(), 0)));
    if (which != WAIT_OBJECT_0 + waited.size() - 1 || waited.back() != events.faulted()) {
      return which;
    }
    if (const auto record = crashRecordIn(crashFile)) {
      readFault(reinterpret_cast<StoppedProcess>(child.handle()), *record, end);
    }
    ::SetEvent(events.read());
    waited.pop_back();  // one fault is read; the process ends with it
  }
}

}  // namespace

ProcessEnd runCheckProcess(const std::vector<std::string>& arguments,
                           const CheckProcessFiles& files, std::chrono::milliseconds timeout) {
  const std::string& outputFile = files.output;
  const std::string& errorsFile = files.errors;
  const std::string program = thisProgram();
  std::string commandLine = shellWord(program);
  for (const std::string& argument : arguments) {
    commandLine += " " + shellWord(argument);
  }
  const OwnedHandle job(::CreateJobObjectA(nullptr, nullptr));
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
    const OwnedHandle input(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inherited, OPEN_EXISTING, 0, nullptr));
    const OwnedHandle output(::CreateFileA(outputFile.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const OwnedHandle errors(::CreateFileA(errorsFile.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  const FaultEvents events(::GetProcessId(child->handle()));
  ::ResumeThread(child->thread());

  ProcessEnd end;
  const DWORD which = waitReadingFaults(*child, events, files.crash,
                                        std::chrono::steady_clock::now() + timeout, end);
  if (which == WAIT_OBJECT_0) {
    const DWORD code = child->exitCode();
    end.how = describeExitCode(code);
    end.exitStatus = static_cast<int>(code);
  } else if (which == WAIT_OBJECT_0 + 1 && stopEvent() != nullptr) {
    end.interrupted = true;
  } else {
    end.timedOut = true;
    if (end.fault.empty()) {
      readThreads(reinterpret_cast<StoppedProcess>(child->handle()), files.plugin, end);
    }
  }
  // The child, if it still runs, and every process it started.
  ::TerminateJobObject(job.get(), 1);
  ::WaitForSingleObject(child->handle(), INFINITE);
  return end;
}

}  // namespace rawout
