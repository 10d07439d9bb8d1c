// An exception no one handles, on any thread, or one the fault trap takes: the record, with the
// thread's registers, is written to the file, exporthost is told through an event named for this
// process, and the thread waits until it has read the stacks; then the exception ends the process
// as it would have.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "crash/capture.h"
#include "crash/crash_record.h"
#include "crash/events.h"

namespace rawout {

namespace {

HANDLE recordFile = INVALID_HANDLE_VALUE;
HANDLE faultedEvent = nullptr;
HANDLE readEvent = nullptr;
LONG recorded = 0;
DWORD recordingThread = 0;
LPTOP_LEVEL_EXCEPTION_FILTER before = nullptr;

// How long a faulting thread waits for exporthost: past it, the process ends unread.
constexpr DWORD kMostWait = 60000;

LONG WINAPI onUnhandled(EXCEPTION_POINTERS* exception) {
  witnessFault(exception, nullptr);
  return before != nullptr ? before(exception) : EXCEPTION_CONTINUE_SEARCH;
}

char accessOf(const EXCEPTION_RECORD& exception) {
  if ((exception.ExceptionCode != EXCEPTION_ACCESS_VIOLATION &&
       exception.ExceptionCode != EXCEPTION_IN_PAGE_ERROR) ||
      exception.NumberParameters < 2) {
    return '?';
  }
  switch (exception.ExceptionInformation[0]) {
    case 0:
      return 'r';
    case 1:
      return 'w';
    case 8:
      return 'x';
    default:
      return '?';
  }
}

}  // namespace

char accessOfFault(const void* fault, const void* /*context*/) noexcept {
  return accessOf(*static_cast<const EXCEPTION_POINTERS*>(fault)->ExceptionRecord);
}

void witnessFault(const void* fault, const void* /*context*/) noexcept {
  if (recordFile == INVALID_HANDLE_VALUE) {
    return;
  }
  // The first alone: the same thread's again is let through, another thread's waits.
  const DWORD thread = ::GetCurrentThreadId();
  if (::InterlockedExchange(&recorded, 1) != 0) {
    while (thread != recordingThread) {
      ::Sleep(INFINITE);
    }
    return;
  }
  recordingThread = thread;
  const auto* pointers = static_cast<const EXCEPTION_POINTERS*>(fault);
  const EXCEPTION_RECORD& exception = *pointers->ExceptionRecord;
  static CrashRecord record;
  record.code = exception.ExceptionCode;
  record.detail = 1;
  record.access = accessOf(exception);
  record.address = record.access == '?' ? 0 : exception.ExceptionInformation[1];
  record.pc = reinterpret_cast<std::uintptr_t>(exception.ExceptionAddress);
  record.thread = thread;
  if (record.access != '?') {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the system hands the address over as an integer
    (void)lentAt(reinterpret_cast<const void*>(exception.ExceptionInformation[1]), record.lent,
                 sizeof record.lent);
  }
  static_assert(sizeof(CONTEXT) <= CrashRecord::kContextBytes);
  record.contextSize = sizeof(CONTEXT);
  std::memcpy(record.context, pointers->ContextRecord, sizeof(CONTEXT));
  record.whole = CrashRecord::kWhole;
  DWORD written = 0;
  (void)::SetFilePointer(recordFile, 0, nullptr, FILE_BEGIN);
  (void)::WriteFile(recordFile, &record, sizeof record, &written, nullptr);
  if (faultedEvent != nullptr && readEvent != nullptr && ::SetEvent(faultedEvent)) {
    (void)::WaitForSingleObject(readEvent, kMostWait);
  }
}

bool captureCrashesInto(const std::string& path) {
  recordFile = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (recordFile == INVALID_HANDLE_VALUE) {
    return false;
  }
  const CrashEvents names(::GetCurrentProcessId());
  faultedEvent = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, names.faulted().c_str());
  readEvent = ::OpenEventA(SYNCHRONIZE, FALSE, names.read().c_str());
  // Room on this thread's stack for the handler, after a stack overflow.
  ULONG guarantee = 64 * 1024;
  (void)::SetThreadStackGuarantee(&guarantee);
  before = ::SetUnhandledExceptionFilter(onUnhandled);
  return true;
}

namespace {

DWORD unloadingThread = 0;
DWORD unloadFault = 0;

// A system fault (access violation, illegal instruction, stack overflow...) on the unloading
// thread; a C++ exception (another facility's code) is the DLL's own to catch.
LONG CALLBACK onUnloadFault(EXCEPTION_POINTERS* exception) {
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (::GetCurrentThreadId() == unloadingThread && (code & 0xF0000000U) == 0xC0000000U &&
      unloadFault == 0) {
    unloadFault = code;
    witnessFault(exception, nullptr);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

std::string faultWhileUnloading(const std::function<void()>& unload) {
  unloadingThread = ::GetCurrentThreadId();
  unloadFault = 0;
  void* const watch = ::AddVectoredExceptionHandler(1, onUnloadFault);
  unload();
  if (watch != nullptr) {
    ::RemoveVectoredExceptionHandler(watch);
  }
  unloadingThread = 0;
  if (unloadFault == 0) {
    return {};
  }
  char code[32];
  (void)std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(unloadFault));
  return std::string("it faulted as it was unloaded (exception ") + code +
         "), which the system's loader hid";
}

}  // namespace rawout
