#include <windows.h>

#include "process/interruptible.h"
#include "process/windows_process.h"

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

}  // namespace

HANDLE stopEvent() { return stopped; }

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

bool Interruptible::stopAsked() {
  return stopped != nullptr && ::WaitForSingleObject(stopped, 0) == WAIT_OBJECT_0;
}

// No process is forked on Windows.
void Interruptible::forgetInChild() {}

void Interruptible::endAsAsked() {
  constexpr UINT kControlCExit = 0xC000013AU;  // STATUS_CONTROL_C_EXIT
  ::ExitProcess(kControlCExit);
}

}  // namespace rawout
