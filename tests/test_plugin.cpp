// A small export plug-in that is not rawout: it appends ".raw". Built as it is, it keeps the host
// contract; each TEST_PLUGIN_FAULT_* definition breaks one rule of it, so that a host's checks
// can be shown to catch that fault:
//   CRLF                 writes each line feed as carriage return + line feed, as text mode does
//   LONG_EXTENSION       reports ".binary", past the five bytes the host provides
//   NO_TERMINATOR        reports ".binx" with no terminating zero in the five bytes
//   LEAKS                never closes its file
//   CHATTY               prints to the host's standard output
//   REFUSES_EMPTY        gives 0 for an empty block
//   NO_TRUNCATE          writes over an existing file without cutting it short
//   NEEDS_EXTOUT         gives 0 when the host passes no extension buffer
//   EXTENSION_ON_FAILURE fills the extension buffer before it knows the save worked
//   CAPS_SIZE            writes at most 1 MiB of a block
//   NOT_THREAD_SAFE      keeps the file name in one buffer for every thread
//   CONTROL_DESCRIPTION  names its format with a tab in it
//   MOVING_DESCRIPTION   gives its name from a different buffer on every call
//   CHANGING_DESCRIPTION counts its saves in its name
//   STRAY                leaves a second file beside its output
//   SHRINKS_INPUT        empties the file named by TEST_PLUGIN_SHRINK, then reads the block itself
//   IGNORES_WRITE_RESULT gives 1 whether or not its write worked, and leaves what it wrote
//   FORMAT_HEX           not a fault: writes the base name's last component on a line, then the
//                        block as hex text, two lower-case digits a byte
//                        and a line feed after every 16 bytes and after the last, as ".hex"
//   MISBEHAVES           does what TEST_PLUGIN_MISBEHAVE says, in saves whose base name holds
//                        TEST_PLUGIN_WHEN: exit0, exit3, abort, shout (lines to stderr, then
//                        abort), throw, segv, raise, hang,
//                        closefrom, linger, escape (a grandchild in a session of its own),
//                        onexit (an exit handler left behind), verdictdir (a folder where the
//                        check's verdict goes), lockfolder (its folders made read-only),
//                        nullext-empty (an empty file when no extension buffer is passed),
//                        extbysize (".prg" for blocks over 100 bytes), oddext (an extension that
//                        is no UTF-8), past16m (no byte written past 16 MiB), unsteady (a
//                        line feed more for a name saved before), and
//                        setvbuf, putenv, sighandler (the C library left holding the
//                        plug-in's memory), writedata, writename (a byte of the block or the base
//                        name written and put back; writelast, writepast: the block's last
//                        byte, the one after it; readpast reads that one), underrun (a store just
//                        before extOut), lowercase, underscore, shortname, norelative (names formed
//                        carelessly: see formedName), keepopen (its file closed at the next call),
//                        backup (an existing output kept as NAME~), noerrno (errno cleared when it
//                        gives 0), rtsignal (a real-time signal raised), herestray (a file made in
//                        the working folder), refuse (0 for every save, with a cause), longmade (0
//                        for a name past the longest every plug-in takes, after making a file of a
//                        shorter one), the state changes nocldwait, uselocale, fwide, personality,
//                        sigpipe, sigint, nofile, rttime, alarm, nonblock, cloexec, thread, locale,
//                        stderr, fpu, subreaper, tsc; on Windows also exitprocess and handle;
//                        tempfile (a file left in the temporary folder). load-raise and load-hang
//                        act as it loads. On blocks of 1 MiB and more, two calls down: deepsegv (a
//                        store to address 8) and spin (a loop that never ends); on blocks of odd
//                        size, deadpair (DE AD written as DE AF), which only random blocks reach,
//                        and slowpair (the same, 200 ms late for a block being shrunk). flipN
//                        writes byte N inverted.
#include <rawout/export_plugin.h>

#include <cstdint>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
#include <cfenv>
#include <csignal>
#include <cwchar>
#include <mutex>
#include <set>
#include <stdexcept>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#endif

namespace {
#ifdef TEST_PLUGIN_FAULT_LONG_EXTENSION
constexpr char kExtension[] = ".binary";
#elif defined(TEST_PLUGIN_FAULT_FORMAT_HEX)
constexpr char kExtension[] = ".hex";
#elif defined(TEST_PLUGIN_FAULT_NO_TERMINATOR)
constexpr char kExtension[] = ".binx";  // copied without its zero
#else
constexpr char kExtension[] = ".raw";
#endif
#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
std::string misbehaviour(const char* baseName);
#endif

bool write(const void* data, std::uint32_t size, std::FILE* file) {
#ifdef TEST_PLUGIN_FAULT_CAPS_SIZE
  size = size > (1U << 20) ? 1U << 20 : size;
#endif
#ifdef TEST_PLUGIN_FAULT_FORMAT_HEX
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::uint32_t index = 0; index < size; ++index) {
    constexpr char kDigits[] = "0123456789abcdef";
    const bool lineEnds = index % 16 == 15 || index + 1 == size;
    if (std::fputc(kDigits[bytes[index] >> 4], file) == EOF ||
        std::fputc(kDigits[bytes[index] & 15], file) == EOF ||
        (lineEnds && std::fputc('\n', file) == EOF)) {
      return false;
    }
  }
  return true;
#elif defined(TEST_PLUGIN_FAULT_CRLF)
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::uint32_t index = 0; index < size; ++index) {
    if ((bytes[index] == '\n' && std::fputc('\r', file) == EOF) ||
        std::fputc(bytes[index], file) == EOF) {
      return false;
    }
  }
  return true;
#else
  return size == 0 || std::fwrite(data, 1, size, file) == size;
#endif
}

// Closes the output, or keeps it open as asked ("keepopen": closed at the next call instead, so
// that the count of open files stays the same).
int close(std::FILE* file, [[maybe_unused]] const std::string& fault) {
  if (fault == "keepopen") {
    static std::FILE* previous = nullptr;
    if (previous != nullptr) {
      std::fclose(previous);
    }
    previous = file;
    return std::fflush(file);
  }
#ifdef TEST_PLUGIN_FAULT_LEAKS
  return std::fflush(file);
#else
  return std::fclose(file);
#endif
}

// Opens the output; when it cannot, a careless plug-in clears the cause ("noerrno").
std::FILE* open(const std::string& fileName, [[maybe_unused]] const std::string& fault) {
#ifdef TEST_PLUGIN_FAULT_NO_TRUNCATE
  if (std::FILE* existing = std::fopen(fileName.c_str(), "r+b")) {
    return existing;
  }
#endif
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr && fault == "noerrno") {
    errno = 0;
#if defined(_WIN32) && defined(TEST_PLUGIN_FAULT_MISBEHAVES)
    ::SetLastError(0);
#endif
  }
  return file;
}

// The whole output: for the hex format the base name's last component on a line first.
bool writeOutput(const void* data, std::uint32_t size, [[maybe_unused]] const char* baseName,
                 std::FILE* file) {
#ifdef TEST_PLUGIN_FAULT_FORMAT_HEX
  const char* named = std::strrchr(baseName, '/');
  if (std::fprintf(file, "%s\n", named != nullptr ? named + 1 : baseName) < 0) {
    return false;
  }
#endif
#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
  const std::string pairFault = misbehaviour(baseName);
  if (pairFault == "slowpair" && std::strstr(baseName, "-smaller") != nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  const bool pairFails = pairFault == "evenpair" ? size % 2 == 0 && size >= 16 : size % 2 == 1;
  if ((pairFault == "deadpair" || pairFault == "slowpair" || pairFault == "evenpair") &&
      pairFails) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::uint32_t index = 0; index + 1 < size; ++index) {
      if (bytes[index] == 0xDE && bytes[index + 1] == 0xAD) {
        return write(bytes, index + 1, file) && std::fputc(0xAF, file) != EOF &&
               write(bytes + index + 2, size - index - 2, file);
      }
    }
  }
  // flipN: byte N of the file written inverted, in blocks that hold it.
  if (pairFault.starts_with("flip") && std::strtoul(pairFault.c_str() + 4, nullptr, 10) < size) {
    const auto at = static_cast<std::uint32_t>(std::strtoul(pairFault.c_str() + 4, nullptr, 10));
    const auto* bytes = static_cast<const unsigned char*>(data);
    return write(bytes, at, file) && std::fputc(bytes[at] ^ 0xFFU, file) != EOF &&
           write(bytes + at + 1, size - at - 1, file);
  }
#endif
  return write(data, size, file);
}

#ifdef TEST_PLUGIN_FAULT_CHANGING_DESCRIPTION
char description[32] = "Raw Test File";
std::atomic<int> saves{0};
#endif

#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
// The misbehaviour asked for in a save of `baseName`, or an empty string.
std::string misbehaviour(const char* baseName) {
  const char* what = std::getenv("TEST_PLUGIN_MISBEHAVE");
  const char* when = std::getenv("TEST_PLUGIN_WHEN");
  if (what == nullptr || (when != nullptr && std::strstr(baseName, when) == nullptr)) {
    return {};
  }
  return what;
}

// Whether no save of this process wrote `fileName` before.
bool firstSaveOf(const std::string& fileName) {
  static std::mutex guard;
  static std::set<std::string> saved;
  const std::lock_guard<std::mutex> lock(guard);
  return saved.insert(fileName).second;
}

#ifndef _WIN32
std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

void leftBehind(int /*status*/, void* /*argument*/) {}
void leftBehind2(int /*signal*/) {}

#endif

// Run as the module loads: in DllMain on Windows.
__attribute__((constructor)) void onLoad() {
  const char* what = std::getenv("TEST_PLUGIN_MISBEHAVE");
#ifndef _WIN32
  if (what != nullptr && std::strcmp(what, "load-raise") == 0) {
    std::raise(SIGSEGV);
  }
  if (what != nullptr && std::strcmp(what, "load-hang") == 0) {
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
#endif
  if (what != nullptr && std::strcmp(what, "load-stray") == 0) {
    if (std::FILE* stray = std::fopen("loaded.tmp", "w")) {
      (void)std::fclose(stray);
    }
  }
}

// Set by a save asked to: the module faults as it is unloaded (in DllMain's detach on Windows).
bool faultAtUnload = false;
volatile std::uintptr_t nowhere = 16;  // not null, which a sanitizer would take first

__attribute__((destructor)) void onUnload() {
  const char* what = std::getenv("TEST_PLUGIN_MISBEHAVE");
  if (what != nullptr && std::strcmp(what, "unloadhang") == 0) {
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
  if (faultAtUnload) {
    *reinterpret_cast<volatile int*>(nowhere) = 1;  // NOLINT(performance-no-int-to-ptr)
  }
}

// What ends or stops the process the plug-in runs in: true when `fault` is one of these.
bool endOrStop(const std::string& fault) {
  if (fault == "exit0") {
    std::exit(0);
  } else if (fault == "exit3") {
    std::_Exit(3);
  } else if (fault == "abort") {
    std::abort();
  } else if (fault == "shout") {
    std::fputs("first line\nsecond\tline\nlast words\n", stderr);
    std::abort();
  } else if (fault == "throw") {
    throw std::runtime_error("out of a noexcept entry point");
  } else if (fault == "segv") {
    // Not null, which a sanitizer would report before the fault: an address that is never mapped.
    volatile std::uintptr_t address = 8;            // unknown to the compiler, which would warn
    *reinterpret_cast<volatile int*>(address) = 1;  // NOLINT(performance-no-int-to-ptr)
  } else if (fault == "hang") {
    std::this_thread::sleep_for(std::chrono::hours(1));
#ifdef _WIN32
  } else if (fault == "exitprocess") {
    ::ExitProcess(4);
#else
  } else if (fault == "raise") {
    std::raise(SIGSEGV);
  } else if (fault == "rtsignal") {
    std::raise(SIGRTMIN + 6);  // a signal with no name of its own
#endif
  } else {
    return false;
  }
  return true;
}

#ifndef _WIN32
// Processes left running after the call.
void leaveProcesses(const std::string& fault) {
  if (fault == "linger") {
    if (::fork() == 0) {
      ::sleep(3600);
      ::_exit(0);
    }
  } else if (fault == "escape") {
    // Two levels down, each in a session of its own: out of every process group of the check.
    if (::fork() == 0) {
      ::setsid();
      if (::fork() == 0) {
        ::setsid();
        if (::fork() == 0) {
          ::sleep(3600);
        }
        ::sleep(3600);
      }
      ::_exit(0);
    }
  }
}
#endif

#ifdef _WIN32
// Left registered by a save asked to, to be called once the module is gone.
LONG CALLBACK keptHandler(EXCEPTION_POINTERS* /*exception*/) { return EXCEPTION_CONTINUE_SEARCH; }
void keptAtExit() {}
void CALLBACK keptTick(void* /*context*/, BOOLEAN /*fired*/) {}
BOOL WINAPI keptConsoleHandler(DWORD /*event*/) { return FALSE; }
void WINAPI keptFiberData(void* /*value*/) {}
#endif

// The changes to the host's process that a call may be asked to leave, by name.
struct StateChange {
  const char* name;
  void (*make)(const char* baseName);
};
constexpr StateChange kStateChanges[] = {
#ifdef _WIN32
    {"locale", [](const char*) { std::setlocale(LC_ALL, "German_Germany.1252"); }},
#else
    {"locale", [](const char*) { std::setlocale(LC_ALL, "C.UTF-8"); }},
#endif
    {"fpu", [](const char*) { std::fesetround(FE_TOWARDZERO); }},
    {"unloadfault", [](const char*) { faultAtUnload = true; }},
    {"setvbuf",
     [](const char*) {
       static char buffer[BUFSIZ];
       (void)std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
     }},
    {"thread",
     [](const char*) {
       std::thread([] { std::this_thread::sleep_for(std::chrono::hours(1)); }).detach();
     }},
#ifdef _WIN32
    {"handle", [](const char*) { (void)::CreateEventA(nullptr, TRUE, FALSE, nullptr); }},
    {"textmode", [](const char*) { (void)::_setmode(2, _O_BINARY); }},
    {"priority",
     [](const char*) { ::SetPriorityClass(::GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS); }},
    {"threadpriority",
     [](const char*) { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST); }},
    {"affinity", [](const char*) { ::SetProcessAffinityMask(::GetCurrentProcess(), 1); }},
    {"dlldirectory", [](const char*) { ::SetDllDirectoryA("C:\\"); }},
    {"veh", [](const char*) { (void)::AddVectoredExceptionHandler(1, keptHandler); }},
    {"console", [](const char*) { (void)::SetConsoleCtrlHandler(keptConsoleHandler, TRUE); }},
    {"fls",
     [](const char*) {
       static int value = 0;
       (void)::FlsSetValue(::FlsAlloc(keptFiberData), &value);
     }},
    {"timer",
     [](const char*) {
       HANDLE timer = nullptr;
       (void)::CreateTimerQueueTimer(&timer, nullptr, keptTick, nullptr, 100, 100, 0);
     }},
    // The C runtime's own atexit, run as the process ends: the DLL's would run as it unloads.
    {"crtexit",
     [](const char*) {
       using AtExit = int (*)(void (*)());
       const HMODULE runtime = ::GetModuleHandleA("msvcrt.dll");
       const FARPROC found = runtime != nullptr ? ::GetProcAddress(runtime, "atexit") : nullptr;
       if (found != nullptr) {
         // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): how the system gives it
         (void)reinterpret_cast<AtExit>(reinterpret_cast<void (*)()>(found))(keptAtExit);
       }
     }},
    {"uef", [](const char*) { (void)::SetUnhandledExceptionFilter(keptHandler); }},
    {"pin",
     [](const char*) {
       static const char inside = 0;  // an address in the module
       HMODULE self = nullptr;
       (void)::GetModuleHandleExA(
           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, &inside, &self);
     }},
    // Past a block the plug-in keeps, so that no free of its own trips over it, into the header
    // of a block kept right after it: a heap check sees only its own records, and wine's heap
    // leaves more room after a small block than Windows'.
    {"heapoverrun",
     [](const char*) {
       static char* const kept = [] {
         char* block = static_cast<char*>(std::malloc(16));
         for (int tries = 0; tries < 1000; ++tries) {
           const char* next = static_cast<char*>(std::malloc(16));
           if (next > block && next - block <= 48) {
             break;
           }
           block = static_cast<char*>(std::malloc(16));
         }
         return block;
       }();
       std::memset(kept, 0x55, 16 + 48);
     }},
#else
    {"putenv",
     [](const char*) {
       static char entry[] = "TEST_PLUGIN_PUT=1";
       ::putenv(entry);
     }},
    {"sighandler", [](const char*) { std::signal(SIGUSR2, leftBehind2); }},
    {"nocldwait",
     [](const char*) {
       struct sigaction children {};
       children.sa_handler = SIG_DFL;
       children.sa_flags = SA_NOCLDWAIT;
       ::sigaction(SIGCHLD, &children, nullptr);
     }},
    {"uselocale", [](const char*) { ::uselocale(::newlocale(LC_ALL_MASK, "C.UTF-8", nullptr)); }},
    {"fwide", [](const char*) { (void)std::fwide(stdout, 1); }},
    {"personality", [](const char*) { ::personality(ADDR_NO_RANDOMIZE); }},
    {"sigpipe", [](const char*) { std::signal(SIGPIPE, SIG_IGN); }},
    {"sigint", [](const char*) { std::signal(SIGINT, SIG_IGN); }},
    {"nofile",
     [](const char*) {
       const rlimit fewer{64, 64};
       ::setrlimit(RLIMIT_NOFILE, &fewer);
     }},
    {"stderr",
     [](const char*) {
       const int null = ::open("/dev/null", O_WRONLY);
       ::dup2(null, 2);
       ::close(null);
     }},
    {"closefrom", [](const char*) { ::closefrom(3); }},
    {"alarm", [](const char*) { ::alarm(3600); }},
    {"nonblock", [](const char*) { ::fcntl(1, F_SETFL, ::fcntl(1, F_GETFL) | O_NONBLOCK); }},
    {"cloexec", [](const char*) { ::fcntl(2, F_SETFD, FD_CLOEXEC); }},
    {"rttime",
     [](const char*) {
       const rlimit shorter{1000000, 1000000};
       ::setrlimit(RLIMIT_RTTIME, &shorter);
     }},
    {"onexit", [](const char*) { ::on_exit(leftBehind, nullptr); }},
    {"subreaper", [](const char*) { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }},
#if defined(__x86_64__) || defined(__i386__)
    {"tsc", [](const char*) { ::prctl(PR_SET_TSC, PR_TSC_SIGSEGV); }},
#endif
    // The check's folder holds the plug-in's folder and exporthost's verdict.
    {"verdictdir",
     [](const char* baseName) {
       const std::string verdict = folderOf(folderOf(baseName)) + "/verdict";
       ::unlink(verdict.c_str());
       ::mkdir(verdict.c_str(), 0700);
     }},
    // A file no one may remove, root included, until the flag is cleared.
    {"immutable",
     [](const char* baseName) {
       const int pinned =
           ::open((folderOf(baseName) + "/pinned").c_str(), O_CREAT | O_RDONLY, 0600);
       int flags = 0;
       ::ioctl(pinned, FS_IOC_GETFLAGS, &flags);
       flags |= FS_IMMUTABLE_FL;
       ::ioctl(pinned, FS_IOC_SETFLAGS, &flags);
       ::close(pinned);
     }},
    {"lockfolder",
     [](const char* baseName) {
       ::chmod(folderOf(baseName).c_str(), 0500);
       ::chmod(folderOf(folderOf(baseName)).c_str(), 0500);
     }},
#endif
};

void misbehave(const char* baseName) {
  const std::string fault = misbehaviour(baseName);
  if (endOrStop(fault)) {
    return;
  }
#ifndef _WIN32
  leaveProcesses(fault);
#endif
  for (const StateChange& change : kStateChanges) {
    if (fault == change.name) {
      change.make(baseName);
    }
  }
}

// Two calls down from the save, as a real fault often is: not inlined, and not tail calls, which
// would leave no frame of their own.
[[gnu::noinline]] void markTheEnd(const void* data, std::uint32_t size) {
  // Through a pointer never set, as a careless plug-in would: an address that is never mapped.
  volatile std::uintptr_t end = 8;
  *reinterpret_cast<volatile unsigned char*>(end) = data != nullptr && size > 0 ? 1 : 0;  // NOLINT
  __asm__ volatile("" ::: "memory");
}
[[gnu::noinline]] void spinOver(const void* data) {
  volatile const unsigned char* byte = static_cast<const unsigned char*>(data);
  for (unsigned sum = 0;; sum = sum + *byte) {
  }
}
[[gnu::noinline]] void walkBlock(const std::string& fault, const void* data, std::uint32_t size) {
  if (fault == "deepsegv") {
    markTheEnd(data, size);
  } else if (fault == "spin") {
    spinOver(data);
  }
  __asm__ volatile("" ::: "memory");
}

// Under a name of its own, so that the failure reads the same each time.
void leaveATemporaryFile() {
#ifdef _WIN32
  char folder[MAX_PATH + 1] = {};
  if (::GetTempPathA(sizeof folder, folder) == 0) {
    return;
  }
  const std::string name = std::string(folder) + "plugin-left.tmp";
#else
  const char* folder = std::getenv("TMPDIR");
  const std::string name = std::string(folder != nullptr ? folder : "/tmp") + "/plugin-left.tmp";
#endif
  if (std::FILE* left = std::fopen(name.c_str(), "wb")) {
    (void)std::fclose(left);
  }
}

// What a misbehaving save does to its arguments: an extension of its own, a size cut short, or a
// byte written where it may not write.
std::string bentArguments(const std::string& fault, const void* data, std::uint32_t& size,
                          const char* baseName, char* extOut) {
  if (fault == "nullext-empty" && extOut == nullptr) {
    size = 0;
  } else if (fault == "extbysize" && size > 100) {
    return ".prg";
  } else if (fault == "past16m" && size > (std::uint32_t{16} << 20)) {
    size = std::uint32_t{16} << 20;
  } else if (fault == "oddext") {
    return "\xED\xA0\x80";
  } else if ((fault == "deepsegv" || fault == "spin") && size >= (std::uint32_t{1} << 20)) {
    walkBlock(fault, data, size);
  } else if (data != nullptr && (fault == "writedata" || fault == "writelast") && size > 0) {
    // Put back at once: only memory the plug-in cannot write shows it.
    auto* byte = static_cast<volatile unsigned char*>(const_cast<void*>(data)) +
                 (fault == "writedata" ? 0 : size - 1);
    const unsigned char was = *byte;
    *byte = was ^ 1U;
    *byte = was;
  } else if (data != nullptr && (fault == "writepast" || fault == "readpast")) {
    auto* past = static_cast<volatile unsigned char*>(const_cast<void*>(data)) + size;
    if (fault == "writepast") {
      *past = 0;
    } else {
      (void)*past;
    }
  } else if (fault == "tempfile") {
    leaveATemporaryFile();
  } else if (fault == "writename") {
    auto* first = const_cast<volatile char*>(baseName);
    const char was = *first;
    *first = 'X';
    *first = was;
  } else if (fault == "underrun" && extOut != nullptr) {
    *static_cast<volatile char*>(extOut - 1) = '.';
  } else if (fault == "bytewise" && extOut != nullptr) {
    // One byte at a time past the end, so that the host sees what came before the fault.
    for (const char byte : std::string(".binary")) {
      *static_cast<volatile char*>(extOut++) = byte;
    }
  }
  return kExtension;
}

// The saves a misbehaving plug-in refuses, with the cause it leaves, before it opens a file:
// none, or the result.
int refusedAsAsked(const std::string& fault, const char* baseName, const std::string& extension) {
  if (fault == "norelative" && std::strncmp(baseName, "../", 3) == 0) {
    errno = ENOENT;
    return 0;
  }
  if (fault == "refuse") {
    errno = EACCES;
#ifdef _WIN32
    ::SetLastError(ERROR_ACCESS_DENIED);
#endif
    return 0;
  }
  const char* lastSlash = std::strrchr(baseName, '/');
  if (fault == "longmade" &&
      std::strlen(lastSlash != nullptr ? lastSlash + 1 : baseName) > RAWOUT_BASE_NAME_MAX) {
    std::fclose(
        std::fopen((std::string(baseName, RAWOUT_BASE_NAME_MAX) + extension).c_str(), "wb"));
    errno = ENAMETOOLONG;
    return 0;
  }
  return -1;
}
#endif

#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
// The name as a careless plug-in forms it from the base name: its last component lower-cased,
// with "_" for spaces and bytes above 0x7E, or cut to 40 bytes.
std::string formedName(const std::string& baseName, const std::string& fault) {
  std::string name = baseName;
  const std::size_t last = name.rfind('/') + 1;
  for (std::size_t index = last; index < name.size(); ++index) {
    const auto byte = static_cast<unsigned char>(name[index]);
    if (fault == "lowercase") {
      name[index] = static_cast<char>(std::tolower(byte));
    } else if (fault == "underscore" && (byte == ' ' || byte > 0x7E)) {
      name[index] = '_';
    }
  }
  return fault == "shortname" ? name.substr(0, last + 40) : name;
}
#endif

// The variants that give 0, or touch what they should not, before a file is opened.
bool refusesBeforeOpening([[maybe_unused]] const void* data, [[maybe_unused]] std::uint32_t size,
                          [[maybe_unused]] char* extOut) {
#ifdef TEST_PLUGIN_FAULT_REFUSES_EMPTY
  if (size == 0) {
    return true;
  }
#endif
#ifdef TEST_PLUGIN_FAULT_NEEDS_EXTOUT
  if (extOut == nullptr) {
    return true;
  }
#endif
#ifdef TEST_PLUGIN_FAULT_EXTENSION_ON_FAILURE
  if (extOut != nullptr) {
    std::memcpy(extOut, kExtension, sizeof kExtension);
  }
#endif
#ifdef TEST_PLUGIN_FAULT_SHRINKS_INPUT
  if (const char* input = std::getenv("TEST_PLUGIN_SHRINK")) {
    std::fclose(std::fopen(input, "wb"));
    volatile unsigned sum = 0;
    for (std::uint32_t index = 0; index < size; ++index) {
      sum = sum + static_cast<const unsigned char*>(data)[index];
    }
  }
#endif
  return false;
}

// The variants that do more once the file is written.
void afterWriting([[maybe_unused]] const std::string& fileName,
                  [[maybe_unused]] const char* baseName) {
#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
  if (misbehaviour(baseName) == "herestray") {
    std::fclose(std::fopen("stray.tmp", "wb"));  // in the working folder, wherever the output went
  }
  if (misbehaviour(baseName) == "unsteady" && !firstSaveOf(fileName)) {
    std::FILE* again = std::fopen(fileName.c_str(), "ab");
    std::fputc('\n', again);
    std::fclose(again);
  }
#endif
#ifdef TEST_PLUGIN_FAULT_STRAY
  std::fclose(std::fopen((std::string(baseName) + ".tmp").c_str(), "wb"));
#endif
#ifdef TEST_PLUGIN_FAULT_CHATTY
  std::printf("saved %s\n", fileName.c_str());
#endif
#ifdef TEST_PLUGIN_FAULT_CHANGING_DESCRIPTION
  ++saves;
#endif
}

}  // namespace

namespace {

int save(const void* data, std::uint32_t size, const char* baseName, char* extOut) noexcept {
  if (baseName == nullptr || (data == nullptr && size != 0)) {
    return 0;
  }
  std::string extension = kExtension;
#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
  misbehave(baseName);
  const std::string fault = misbehaviour(baseName);
  extension = bentArguments(fault, data, size, baseName, extOut);
#endif
  if (refusesBeforeOpening(data, size, extOut)) {
    return 0;
  }
#ifdef TEST_PLUGIN_FAULT_NOT_THREAD_SAFE
  static std::string fileName;
  fileName = std::string(baseName) + extension;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // long enough for another thread
#elif defined(TEST_PLUGIN_FAULT_MISBEHAVES)
  if (const int refused = refusedAsAsked(fault, baseName, extension); refused >= 0) {
    return refused;
  }
  const std::string fileName = formedName(baseName, fault) + extension;
#else
  const std::string fileName = std::string(baseName) + extension;
#endif
#ifdef TEST_PLUGIN_FAULT_MISBEHAVES
  if (fault == "backup") {
    (void)std::rename(fileName.c_str(), (fileName + "~").c_str());
  }
#else
  const std::string fault;
#endif
  std::FILE* file = open(fileName, fault);
  if (file == nullptr) {
    return 0;
  }
  const bool written = writeOutput(data, size, baseName, file);
#ifdef TEST_PLUGIN_FAULT_IGNORES_WRITE_RESULT
  (void)written;
  (void)close(file, fault);
#else
  if (close(file, fault) != 0 || !written) {
    const int cause = errno;
    std::remove(fileName.c_str());  // no incomplete file is left to be taken for the program
    errno = cause;
    return 0;
  }
#endif
  afterWriting(fileName, baseName);
  if (extOut != nullptr) {
#ifdef TEST_PLUGIN_FAULT_NO_TERMINATOR
    std::memcpy(extOut, kExtension, sizeof kExtension - 1);
#else
    std::memcpy(extOut, extension.c_str(), extension.size() + 1);
#endif
  }
  return 1;
}

}  // namespace

#if defined(TEST_PLUGIN_FAULT_MISBEHAVES) && (defined(__x86_64__) || defined(__i386__))
// The save itself, behind an entry point in assembly that, for "clobber", returns with a register
// the calling convention keeps for the caller changed (rbx, rsi on Windows x64, ebx on 32-bit x86):
// bit 32 of the result asks for it.
#ifdef __ELF__
#define TEST_PLUGIN_HIDDEN __attribute__((visibility("hidden")))
#else
#define TEST_PLUGIN_HIDDEN
#endif
extern "C" TEST_PLUGIN_HIDDEN std::uint64_t realSave(const void* data, std::uint32_t size,
                                                     const char* baseName, char* extOut) noexcept {
  const auto result = static_cast<std::uint32_t>(save(data, size, baseName, extOut));
  return result | (misbehaviour(baseName) == "clobber" ? std::uint64_t{1} << 32U : 0);
}
#if defined(__x86_64__) && defined(__ELF__)
__asm__(
    ".text\n.globl SavePrgmFile\n.type SavePrgmFile, @function\nSavePrgmFile:\n"
    "subq $8, %rsp\ncall realSave\naddq $8, %rsp\nbtq $32, %rax\njnc 1f\n"
    "movq $0x1234, %rbx\n1: movl %eax, %eax\nret\n.size SavePrgmFile, .-SavePrgmFile\n");
#elif defined(__x86_64__)
__asm__(
    ".text\n.globl SavePrgmFile\nSavePrgmFile:\n"
    "subq $40, %rsp\ncall realSave\naddq $40, %rsp\nbtq $32, %rax\njnc 1f\n"
    "movq $0x1234, %rsi\n1: movl %eax, %eax\nret\n"
    ".section .drectve\n"
    ".ascii \" -export:SavePrgmFile -export:GetPluginDescription -export:About\"\n.text\n");
#else
__asm__(
    ".text\n.globl _SavePrgmFile\n_SavePrgmFile:\n"
    "pushl 16(%esp)\npushl 16(%esp)\npushl 16(%esp)\npushl 16(%esp)\ncall _realSave\n"
    "addl $16, %esp\ntestl $1, %edx\njz 1f\nmovl $0x1234, %ebx\n1: ret\n"
    ".section .drectve\n"
    ".ascii \" -export:SavePrgmFile -export:GetPluginDescription -export:About\"\n.text\n");
#endif
#else
extern "C" int SavePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                            char* extOut) noexcept {
  return save(data, size, baseName, extOut);
}
#endif

extern "C" const char* GetPluginDescription() noexcept {
#ifdef TEST_PLUGIN_FAULT_FORMAT_HEX
  return "Hex Text";
#elif defined(TEST_PLUGIN_FAULT_CONTROL_DESCRIPTION)
  return "Raw\tTest File";
#elif defined(TEST_PLUGIN_FAULT_MOVING_DESCRIPTION)
  static char names[2][16] = {"Raw Test File", "Raw Test File"};
  static int next = 0;
  return names[next++ % 2];
#elif defined(TEST_PLUGIN_FAULT_CHANGING_DESCRIPTION)
  if (saves > 0) {
    std::snprintf(description, sizeof description, "Raw Test File %d", saves.load());
  }
  return description;
#else
  return "Raw Test File";
#endif
}

extern "C" int About() noexcept { return 0; }
