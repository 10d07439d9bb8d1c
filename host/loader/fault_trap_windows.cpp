#include <windows.h>

#include "crash/capture.h"
#include "loader/fault_trap.h"

namespace rawout {

namespace {

const FaultTrap* active = nullptr;
void* handler = nullptr;

LONG CALLBACK onAccessViolation(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (active == nullptr || record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION ||
      record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the system hands the address over as an integer
  const auto* address = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
  char message[2048];
  const bool write = record->ExceptionInformation[0] == 1;
  if (const std::size_t length = active->messageFor(address, write, message, sizeof message);
      length > 0) {
    witnessFault(exception, nullptr);  // where it struck, for exporthost to read first
    const std::string& path = active->reportPath();
    HANDLE into = path.empty() ? ::GetStdHandle(STD_ERROR_HANDLE)
                               : ::CreateFileA(path.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    (void)::WriteFile(into, message, static_cast<DWORD>(length), &written, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(active->exitStatus()));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void FaultTrap::install() {
  active = this;
  handler = ::AddVectoredExceptionHandler(1, onAccessViolation);
}

FaultTrap::~FaultTrap() {
  if (handler != nullptr) {
    ::RemoveVectoredExceptionHandler(handler);
  }
  active = nullptr;
}

}  // namespace rawout
