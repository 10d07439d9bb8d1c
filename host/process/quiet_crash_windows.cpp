#include <windows.h>

#include "process/quiet_crash.h"

namespace rawout {

namespace {

LONG WINAPI endWithTheException(EXCEPTION_POINTERS* exception) {
  ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void crashQuietly() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(endWithTheException);
}

}  // namespace rawout
