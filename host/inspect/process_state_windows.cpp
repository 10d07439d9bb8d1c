// The process state as Windows shows it: handles, the standard handles (inheritance, console
// mode), the C runtime's descriptors, the environment block, the floating-point control word and
// the error mode.
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "inspect/process_state.h"

namespace rawout {

namespace {

void addDescriptorsAndHandles(ProcessState& state) {
  // msvcrt.dll's descriptor table, which a plug-in built on it shares with the host.
  constexpr int kMostDescriptors = 2048;
  const int error = errno;
  std::string descriptors;
  for (int descriptor = 0; descriptor < kMostDescriptors; ++descriptor) {
    if (::_get_osfhandle(descriptor) != -1) {
      descriptors += (descriptors.empty() ? "" : " ") + std::to_string(descriptor);
    }
  }
  errno = error;
  state["C runtime descriptors"] = descriptors.empty() ? "none" : descriptors;
  // Each value a handle can have, asked one by one: the count from GetProcessHandleCount is 0
  // under wine, and a list names what changed.
  constexpr std::uintptr_t kMostHandleValues = 16384;
  std::string handles;
  for (std::uintptr_t value = 4; value < kMostHandleValues; value += 4) {
    DWORD flags = 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): handles are small integers in a pointer
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0) {
      handles += (handles.empty() ? "" : " ") + std::to_string(value);
    }
  }
  state["open handles"] = handles;
}

void addStandardHandles(ProcessState& state) {
  // The standard handles a host hands on: which they are, whether a child inherits them, and a
  // console's mode (echo, line input, processed output...).
  for (const auto& [which, name] : {std::pair{STD_INPUT_HANDLE, "standard input"},
                                    std::pair{STD_OUTPUT_HANDLE, "standard output"},
                                    std::pair{STD_ERROR_HANDLE, "standard error"}}) {
    HANDLE handle = ::GetStdHandle(which);
    state[std::string(name) + " handle"] =
        std::to_string(reinterpret_cast<std::uintptr_t>(handle));  // NOLINT: a value to compare
    DWORD flags = 0;
    state[std::string(name) + " inheritance"] =
        ::GetHandleInformation(handle, &flags) == 0 ? "unknown"
        : (flags & HANDLE_FLAG_INHERIT) != 0        ? "inherited"
                                                    : "not inherited";
    DWORD mode = 0;
    state[std::string(name) + " console mode"] =
        ::GetConsoleMode(handle, &mode) != 0 ? std::to_string(mode) : "not a console";
  }
}

// What a host's own code runs under that a plug-in can change for the whole process or the calling
// thread. SetDefaultDllDirectories has no reader, so it is not compared.
void addSettings(ProcessState& state) {
  const char* locale = std::setlocale(LC_ALL, nullptr);
  state["locale"] = locale != nullptr ? locale : "unknown";
  state["per-thread locale"] = ::_configthreadlocale(0) == _ENABLE_PER_THREAD_LOCALE ? "on" : "off";
  state["console input code page"] = std::to_string(::GetConsoleCP());
  state["console output code page"] = std::to_string(::GetConsoleOutputCP());
  // _setmode tells the mode only by changing it: put straight back, on this thread.
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    const int mode = ::_setmode(descriptor, _O_BINARY);
    if (mode != -1) {
      (void)::_setmode(descriptor, mode);
    }
    char text[32];
    (void)std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(mode));
    state["descriptor " + std::to_string(descriptor) + " translation mode"] =
        mode == -1 ? "not open" : text;
  }
  state["priority class"] = std::to_string(::GetPriorityClass(::GetCurrentProcess()));
  state["thread priority"] = std::to_string(::GetThreadPriority(::GetCurrentThread()));
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  state["affinity"] =
      ::GetProcessAffinityMask(::GetCurrentProcess(), &processMask, &systemMask) != 0
          ? std::to_string(processMask)
          : "unknown";
  char folder[MAX_PATH * 4] = {};
  const DWORD length = ::GetDllDirectoryA(sizeof folder, folder);
  state["DLL directory"] = length == 0 ? "none" : length < sizeof folder ? folder : "too long";
#if defined(__x86_64__)
  // On x64 _controlfp reads only the SSE control word: the x87 one is read itself.
  unsigned short x87 = 0;
  __asm__ volatile("fnstcw %0" : "=m"(x87));
  char text[32];
  (void)std::snprintf(text, sizeof text, "%#06x", x87);
  state["x87 control word"] = text;
#endif
}

}  // namespace

// The check's job object holds every process a plug-in starts, and ends them with it.
void adoptOrphans() {}

void leaveOrphansToTheParent() {}
std::string endProcessesLeftRunning() { return {}; }

void endAtOnce(int status) { std::_Exit(status); }

std::size_t runningThreads() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return 0;
  }
  // The snapshot lists every process's threads.
  const DWORD self = ::GetCurrentProcessId();
  std::size_t threads = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot, &entry); more != FALSE;
       more = ::Thread32Next(snapshot, &entry)) {
    threads += entry.th32OwnerProcessID == self ? 1 : 0;
  }
  ::CloseHandle(snapshot);
  return threads;
}

std::string damagedHeap() {
  std::array<HANDLE, 256> heaps{};
  const DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  // NOLINTNEXTLINE(performance-no-int-to-ptr): msvcrt hands its heap over as an integer
  const auto* runtimeHeap = reinterpret_cast<HANDLE>(::_get_heap_handle());
  for (DWORD index = 0; index < std::min<DWORD>(count, heaps.size()); ++index) {
    if (::HeapValidate(heaps[index], 0, nullptr) == FALSE) {
      return heaps[index] == runtimeHeap          ? "the C runtime's heap (malloc's)"
             : heaps[index] == ::GetProcessHeap() ? "the process heap"
                                                  : "a heap the process made";
    }
  }
  return {};
}

std::string stillMappedAfterUnload() {
  return "it stayed loaded once the host unloaded it (it pinned itself, or loaded itself again), "
         "expected it gone";
}

namespace {

const AddressRanges* formerImage = nullptr;
DWORD drivingThread = 0;
const char* driving = nullptr;  // what is being driven now
const char* lateCaller = nullptr;
// The exception that drives the handlers: a code of exporthost's own (the customer bit set),
// which its last handler takes.
constexpr DWORD kProbe = 0xE0726177;

// A call into the former image faults at its first instruction, the return address on the
// stack: the call is made to return there with 0 (EXCEPTION_CONTINUE_SEARCH for a handler).
LONG CALLBACK onCallIntoFormerImage(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (formerImage == nullptr || ::GetCurrentThreadId() != drivingThread ||
      record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION ||
      !insideAny(*formerImage, record.ExceptionAddress)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (lateCaller == nullptr) {
    lateCaller = driving;
  }
  CONTEXT& context = *exception->ContextRecord;
#ifdef _WIN64
  context.Rip =
      *reinterpret_cast<const DWORD64*>(context.Rsp);  // NOLINT(performance-no-int-to-ptr)
  context.Rsp += sizeof(DWORD64);
  context.Rax = 0;
#else
  // A handler is stdcall and pops its one argument.
  context.Eip = *reinterpret_cast<const DWORD*>(context.Esp);  // NOLINT(performance-no-int-to-ptr)
  context.Esp += 2 * sizeof(DWORD);
  context.Eax = 0;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

LONG CALLBACK onProbe(EXCEPTION_POINTERS* exception) {
  return exception->ExceptionRecord->ExceptionCode == kProbe ? EXCEPTION_CONTINUE_EXECUTION
                                                             : EXCEPTION_CONTINUE_SEARCH;
}

// Set once a Ctrl+Break is driven, and kept: a routine that outlived its wait still ends here.
std::atomic<bool> breakDriven = false;

// The system's console handlers are called last first: this one, set before the plug-in loads,
// ends a driven Ctrl+Break, which would otherwise end the process.
BOOL WINAPI onDrivenBreak(DWORD event) {
  return event == CTRL_BREAK_EVENT && breakDriven ? TRUE : FALSE;
}

// What the system runs on a thread of its own for a console event; exported by kernel32 on every
// Windows since 7, and by wine. Called so, it needs no console.
LPTHREAD_START_ROUTINE consoleEventRoutine() {
  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  const FARPROC found = kernel != nullptr ? ::GetProcAddress(kernel, "CtrlRoutine") : nullptr;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): how the system gives it
  return reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(found));
}

// Windows 10 has 4080 fiber-local storage slots; an index past the system's last reads as empty.
constexpr DWORD kFiberSlots = 4096;
std::bitset<kFiberSlots> fiberSlotsBefore;  // holding a value on the first thread, before the load

std::bitset<kFiberSlots> fiberSlotsHeld() {
  std::bitset<kFiberSlots> held;
  for (DWORD index = 0; index < kFiberSlots; ++index) {
    held[index] = ::FlsGetValue(index) != nullptr;
  }
  return held;
}

// A slot the module took, with a value on this thread, calls its callback as this thread ends:
// freeing it calls it now.
void driveFiberCallbacks() {
  const std::bitset<kFiberSlots> taken = fiberSlotsHeld() & ~fiberSlotsBefore;
  driving = "a fiber-local storage callback (FlsAlloc), as its slot was freed";
  for (DWORD index = 0; index < kFiberSlots; ++index) {
    if (taken[index]) {
      (void)::FlsFree(index);
    }
  }
}

void driveConsoleBreak() {
  const LPTHREAD_START_ROUTINE routine = consoleEventRoutine();
  if (routine == nullptr) {
    return;
  }
  DWORD id = 0;
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the event travels as the thread's argument
  HANDLE thread = ::CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(CTRL_BREAK_EVENT),
                                 CREATE_SUSPENDED, &id);
  if (thread == nullptr) {
    return;
  }
  drivingThread = id;
  driving = "a console control handler (SetConsoleCtrlHandler), at a Ctrl+Break";
  breakDriven = true;
  // The check process is a process group of its own, which ignores Ctrl+C; wine's routine then
  // skips every event, so the handlers are let run while it does.
  (void)::SetConsoleCtrlHandler(nullptr, FALSE);
  ::ResumeThread(thread);
  // Every handler in the former image returns at once; only one of the host's could hold it.
  constexpr DWORD kLongestWait = 5000;
  (void)::WaitForSingleObject(thread, kLongestWait);
  (void)::SetConsoleCtrlHandler(nullptr, TRUE);
  ::CloseHandle(thread);
}

}  // namespace

void watchForLateCallbacks() {
  (void)::SetConsoleCtrlHandler(onDrivenBreak, TRUE);
  fiberSlotsBefore = fiberSlotsHeld();
}

std::string lateCallbackInto(const AddressRanges& ranges) {
  formerImage = &ranges;
  drivingThread = ::GetCurrentThreadId();
  lateCaller = nullptr;
  void* const watch = ::AddVectoredExceptionHandler(1, onCallIntoFormerImage);
  void* const last = ::AddVectoredExceptionHandler(0, onProbe);
  if (watch != nullptr && last != nullptr) {
    driving =
        "a vectored exception handler (AddVectoredExceptionHandler), at an exception the process "
        "handled";
    ::RaiseException(kProbe, 0, 0, nullptr);
    driveFiberCallbacks();
    driveConsoleBreak();
  }
  for (void* const handler : {last, watch}) {
    if (handler != nullptr) {
      ::RemoveVectoredExceptionHandler(handler);
    }
  }
  driving = nullptr;
  formerImage = nullptr;
  return lateCaller != nullptr ? std::string("once it was unloaded, ") + lateCaller +
                                     ", still called into it, expected nothing"
                               : std::string();
}

// The regions the system reserved for the module as one allocation, from its base.
AddressRanges mappingOf(const std::string& path) {
  AddressRanges ranges;
  std::string name = path;
  std::replace(name.begin(), name.end(), '/', '\\');  // as the loader keeps it
  const HMODULE module = ::GetModuleHandleA(name.c_str());
  if (module == nullptr) {
    return ranges;
  }
  const auto* at = reinterpret_cast<const char*>(module);  // NOLINT: the module's base address
  MEMORY_BASIC_INFORMATION region{};
  while (::VirtualQuery(at, &region, sizeof region) == sizeof region &&
         region.AllocationBase == module) {
    const auto begin = reinterpret_cast<std::uintptr_t>(region.BaseAddress);  // NOLINT
    ranges.emplace_back(begin, begin + region.RegionSize);
    at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  return ranges;
}

// What msvcrt.dll, which a plug-in built on it shares with the host, keeps: the environment and
// the standard streams' buffers. Its signal handlers cannot be read back.
std::vector<std::string> heldPointersInto(const AddressRanges& ranges) {
  std::vector<std::string> held = entriesInside(ranges, _environ);
  // Read by putting it back: the system has no other reader.
  const LPTOP_LEVEL_EXCEPTION_FILTER filter = ::SetUnhandledExceptionFilter(nullptr);
  (void)::SetUnhandledExceptionFilter(filter);
  if (insideAny(ranges, reinterpret_cast<const void*>(filter))) {  // NOLINT: a function's address
    held.emplace_back("the unhandled-exception filter (SetUnhandledExceptionFilter)");
  }
#ifndef _UCRT
  for (const auto& [stream, name] :
       {std::pair{stdin, "stdin"}, std::pair{stdout, "stdout"}, std::pair{stderr, "stderr"}}) {
    if (insideAny(ranges, stream->_base)) {
      held.push_back(std::string(name) + "'s buffer");
    }
  }
#endif
  return held;
}

// Windows lists no handles by file: a file that no one may share is held by a handle still.
std::string heldOpen(const std::string& path) {
  HANDLE alone = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (alone != INVALID_HANDLE_VALUE) {
    ::CloseHandle(alone);
    return {};
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION ? "a handle" : "";
}

ProcessState currentProcessState() {
  ProcessState state;
  addDescriptorsAndHandles(state);
  addStandardHandles(state);
  char folder[MAX_PATH * 4] = {};
  if (::GetCurrentDirectoryA(sizeof folder, folder) < sizeof folder) {
    state["working folder"] = folder;
  }
  char* block = ::GetEnvironmentStringsA();
  for (const char* variable = block; variable != nullptr && *variable != '\0';
       variable += std::string(variable).size() + 1) {
    const std::string text = variable;
    // Names such as "=C:" hold the working folder of each drive.
    const std::size_t equals = text.find('=', 1);
    state["environment " + text.substr(0, equals)] =
        equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  ::FreeEnvironmentStringsA(block);
  // Before _controlfp, which under wine puts the x87 control word back as msvcrt last set it.
  addSettings(state);
  char text[32];
  (void)std::snprintf(text, sizeof text, "%#010x", ::_controlfp(0, 0));
  state["floating-point control word"] = text;
  (void)std::snprintf(text, sizeof text, "%#x", ::GetErrorMode());
  state["error mode"] = text;
  state["threads"] = std::to_string(runningThreads());
  return state;
}

}  // namespace rawout
