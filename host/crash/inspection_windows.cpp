// The check process read with DbgHelp, where it stopped: the faulting thread walked from the
// registers it recorded, every other thread suspended and walked from its own; each address named
// from the module's symbols and line numbers (a PDB, or the DWARF mingw-w64 writes, where DbgHelp
// reads it), else the nearest export.
#include <windows.h>
// After windows.h, which they need.
#include <dbghelp.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "crash/inspection.h"
#include "process/this_program.h"
#include "process/windows_process.h"
#include "text/paths.h"

namespace rawout {

namespace {

// DbgHelp's calls are not safe on two threads at once: checks run side by side.
std::mutex& dbghelpLock() {
  static std::mutex lock;
  return lock;
}

#ifdef _WIN64
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

// DbgHelp's view of a process, its modules loaded, for as long as it lives.
class Symbols {
 public:
  explicit Symbols(HANDLE process) : process_(process) {
    ::SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS);
    ready_ = ::SymInitialize(process_, nullptr, TRUE) != FALSE;
  }
  ~Symbols() {
    if (ready_) {
      ::SymCleanup(process_);
    }
  }
  Symbols(const Symbols&) = delete;
  Symbols& operator=(const Symbols&) = delete;
  [[nodiscard]] bool ready() const { return ready_; }

 private:
  HANDLE process_;
  bool ready_ = false;
};

// Reads `bytes` at `address` of the process; false when it cannot.
bool readAt(HANDLE process, DWORD64 address, void* into, std::size_t bytes) {
  SIZE_T read = 0;
  // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the other process
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), into, bytes, &read) !=
             FALSE &&
         read == bytes;
}

// The export of the module at `base` that starts nearest below `address`, from its export
// directory as loaded: its name and start; none when it exports nothing below it.
std::pair<std::string, DWORD64> nearestExportBelow(HANDLE process, DWORD64 base, DWORD64 address) {
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS headers{};
  IMAGE_EXPORT_DIRECTORY directory{};
  if (!readAt(process, base, &dos, sizeof dos) ||
      !readAt(process, base + static_cast<DWORD64>(dos.e_lfanew), &headers, sizeof headers)) {
    return {};
  }
  const IMAGE_DATA_DIRECTORY& exports =
      headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (exports.Size == 0 ||
      !readAt(process, base + exports.VirtualAddress, &directory, sizeof directory)) {
    return {};
  }
  std::pair<std::string, DWORD64> nearest;
  for (DWORD index = 0; index < directory.NumberOfNames && index < 65536; ++index) {
    DWORD nameAt = 0;
    WORD ordinal = 0;
    DWORD start = 0;
    char name[256] = {};
    if (readAt(process, base + directory.AddressOfNames + index * sizeof nameAt, &nameAt,
               sizeof nameAt) &&
        readAt(process, base + directory.AddressOfNameOrdinals + index * sizeof ordinal, &ordinal,
               sizeof ordinal) &&
        readAt(process, base + directory.AddressOfFunctions + ordinal * sizeof start, &start,
               sizeof start) &&
        base + start <= address && base + start > nearest.second &&
        readAt(process, base + nameAt, name, sizeof name - 1)) {
      nearest = {name, base + start};
    }
  }
  return nearest;
}

Frame frameAt(HANDLE process, DWORD64 pc, bool exact) {
  Frame frame;
  const DWORD64 lookup = exact || pc == 0 ? pc : pc - 1;
  const DWORD64 base = ::SymGetModuleBase64(process, lookup);
  if (base == 0) {
    frame.offset = pc;
    return frame;
  }
  char path[MAX_PATH] = {};
  // NOLINTNEXTLINE(performance-no-int-to-ptr): a module's handle is its base address
  if (::GetModuleFileNameExA(process, reinterpret_cast<HMODULE>(base), path, sizeof path) > 0) {
    frame.module = lastComponent(path);
  }
  frame.offset = pc - base;
  frame.host = !frame.module.empty() && frame.module == lastComponent(thisProgram());
  alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 512] = {};
  auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
  symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
  symbol->MaxNameLen = 512;
  DWORD64 displacement = 0;
  if (::SymFromAddr(process, lookup, &displacement, symbol) != FALSE) {
    frame.function = readableName(symbol->Name);
    frame.functionOffset = displacement + (lookup == pc ? 0 : 1);
    frame.nearest = symbol->Size == 0 || displacement >= symbol->Size;
  } else if (const auto [name, start] = nearestExportBelow(process, base, lookup); !name.empty()) {
    frame.function = name;
    frame.functionOffset = pc - start;
    frame.nearest = true;
  }
  IMAGEHLP_LINE64 line{};
  line.SizeOfStruct = sizeof line;
  DWORD column = 0;
  if (::SymGetLineFromAddr64(process, lookup, &column, &line) != FALSE &&
      line.FileName != nullptr) {
    frame.file = lastComponent(line.FileName);
    frame.line = static_cast<int>(line.LineNumber);
    frame.nearest = false;
  }
  return frame;
}

// The calls of `thread` from `context`, innermost first, to exporthost's own frame.
std::vector<Frame> walked(HANDLE process, HANDLE thread, CONTEXT context, std::size_t most) {
  STACKFRAME64 frame{};
#ifdef _WIN64
  frame.AddrPC.Offset = context.Rip;
  frame.AddrFrame.Offset = context.Rbp;
  frame.AddrStack.Offset = context.Rsp;
#else
  frame.AddrPC.Offset = context.Eip;
  frame.AddrFrame.Offset = context.Ebp;
  frame.AddrStack.Offset = context.Esp;
#endif
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Mode = AddrModeFlat;
  std::vector<Frame> frames;
  while (frames.size() < most &&
         ::StackWalk64(kMachine, process, thread, &frame, &context, nullptr,
                       ::SymFunctionTableAccess64, ::SymGetModuleBase64, nullptr) != FALSE &&
         frame.AddrPC.Offset != 0) {
    frames.push_back(frameAt(process, frame.AddrPC.Offset, frames.empty()));
    if (frames.back().host) {
      break;
    }
  }
  return frames;
}

HANDLE openThread(DWORD id) {
  return ::OpenThread(THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE,
                      id);
}

// NOLINTNEXTLINE(performance-no-int-to-ptr): the process's handle, carried as an integer
HANDLE handleOf(StoppedProcess process) { return reinterpret_cast<HANDLE>(process); }

// The ids of the process's threads.
std::vector<DWORD> threadsOf(HANDLE process) {
  std::vector<DWORD> threads;
  const DWORD owner = ::GetProcessId(process);
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return threads;
  }
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot, &entry); more != FALSE;
       more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == owner) {
      threads.push_back(entry.th32ThreadID);
    }
  }
  ::CloseHandle(snapshot);
  return threads;
}

}  // namespace

std::vector<Frame> crashFrames(StoppedProcess process, const CrashRecord& record,
                               std::size_t most) {
  auto* const handle = handleOf(process);
  if (record.contextSize != sizeof(CONTEXT)) {
    return {};
  }
  CONTEXT context;
  std::memcpy(&context, record.context, sizeof context);
  const std::lock_guard<std::mutex> held(dbghelpLock());
  const Symbols symbols(handle);
  const OwnedHandle thread(openThread(static_cast<DWORD>(record.thread)));
  if (!symbols.ready() || thread.get() == nullptr) {
    return {};
  }
  return walked(handle, thread.get(), context, most);
}

std::vector<ThreadFrames> threadFrames(StoppedProcess process, std::size_t most) {
  auto* const handle = handleOf(process);
  std::vector<ThreadFrames> threads;
  const std::lock_guard<std::mutex> held(dbghelpLock());
  const Symbols symbols(handle);
  if (!symbols.ready()) {
    return threads;
  }
  for (const DWORD id : threadsOf(handle)) {
    const OwnedHandle thread(openThread(id));
    // Left suspended: the process is ended once its threads are read.
    if (thread.get() == nullptr || ::SuspendThread(thread.get()) == static_cast<DWORD>(-1)) {
      continue;
    }
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (::GetThreadContext(thread.get(), &context) != FALSE) {
      threads.push_back({id, walked(handle, thread.get(), context, most)});
    }
  }
  return threads;
}

std::string whatLiesAt(StoppedProcess process, std::uint64_t address) {
  auto* const handle = handleOf(process);
  MEMORY_BASIC_INFORMATION region{};
  // NOLINTNEXTLINE(performance-no-int-to-ptr): an address in the other process
  if (::VirtualQueryEx(handle, reinterpret_cast<const void*>(address), &region, sizeof region) ==
          0 ||
      region.State == MEM_FREE) {
    return "nothing mapped";
  }
  if (region.State == MEM_RESERVE) {
    return "memory reserved and never committed";
  }
  const DWORD protection = region.Protect & 0xFFU;
  const std::string access =
      (region.Protect & PAGE_GUARD) != 0 ? ", a guard page"
      : protection == PAGE_NOACCESS      ? ", which no one may touch"
      : protection == PAGE_READONLY || protection == PAGE_EXECUTE_READ || protection == PAGE_EXECUTE
          ? ", which is read-only"
          : "";
  char path[MAX_PATH] = {};
  if (region.Type == MEM_IMAGE &&
      ::GetModuleFileNameExA(handle, static_cast<HMODULE>(region.AllocationBase), path,
                             sizeof path) > 0) {
    return lastComponent(path) + access;
  }
  return "memory no file backs" + access;
}

std::string faultKind(const CrashRecord& record) {
  struct Kind {
    DWORD code;
    const char* words;
  };
  static constexpr Kind kKinds[] = {
      {EXCEPTION_ACCESS_VIOLATION, "access violation"},
      {EXCEPTION_IN_PAGE_ERROR, "in-page error (a mapped file's page could not be read)"},
      {EXCEPTION_ILLEGAL_INSTRUCTION, "illegal instruction"},
      {EXCEPTION_PRIV_INSTRUCTION, "privileged instruction"},
      {EXCEPTION_INT_DIVIDE_BY_ZERO, "division by zero"},
      {EXCEPTION_INT_OVERFLOW, "integer overflow"},
      {EXCEPTION_FLT_DIVIDE_BY_ZERO, "floating-point division by zero"},
      {EXCEPTION_FLT_INVALID_OPERATION, "invalid floating-point operation"},
      {EXCEPTION_FLT_OVERFLOW, "floating-point overflow"},
      {EXCEPTION_FLT_UNDERFLOW, "floating-point underflow"},
      {EXCEPTION_FLT_INEXACT_RESULT, "inexact floating-point result"},
      {EXCEPTION_FLT_DENORMAL_OPERAND, "denormal floating-point operand"},
      {EXCEPTION_FLT_STACK_CHECK, "floating-point stack check"},
      {EXCEPTION_STACK_OVERFLOW, "stack overflow"},
      {EXCEPTION_BREAKPOINT, "breakpoint"},
      {EXCEPTION_SINGLE_STEP, "single step"},
      {EXCEPTION_DATATYPE_MISALIGNMENT, "misaligned data"},
      {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "array bounds exceeded"},
      {EXCEPTION_NONCONTINUABLE_EXCEPTION, "exception continued that may not be"},
      {EXCEPTION_INVALID_DISPOSITION, "invalid exception disposition"},
      {0xC0000409, "stack buffer overrun (a security check failed)"},
      {0xC0000374, "heap corruption"},
      {0xE06D7363, "Visual C++ exception no one caught"},
      {0x20474343, "C++ exception no one caught (GCC)"},
  };
  const char* words = "exception";
  for (const Kind& kind : kKinds) {
    if (kind.code == record.code) {
      words = kind.words;
    }
  }
  char code[16];
  (void)std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(record.code));
  return std::string(words) + " (" + code + ")";
}

}  // namespace rawout
