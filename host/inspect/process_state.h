// What a plug-in call must leave as it found it in the host's process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace rawout {

// What a host relies on in its own process, fact by fact: "SIGPIPE handling" -> "default",
// "RLIMIT_NOFILE" -> "1024 524288", "descriptor 2" -> "device 22 inode 5", ...
using ProcessState = std::map<std::string, std::string>;

ProcessState currentProcessState();

// Makes this process the one that its descendants' orphans come to, so that none can slip away
// unseen (Linux; on Windows the check's job holds them all).
void adoptOrphans();
// For a look at the process as a host's: orphans go to exporthost, which ends them, and a
// plug-in that makes the process adopt them is seen.
void leaveOrphansToTheParent();
// The processes that calls into the plug-in left running ("1234 (sleep) 1240 (sleep)"), ended
// now; "" when none was left. Zombies left are reaped first: those no longer run.
std::string endProcessesLeftRunning();

// The address ranges the module file at `path` is mapped at now (on Windows none: not looked at).
using AddressRanges = std::vector<std::pair<std::uintptr_t, std::uintptr_t>>;
AddressRanges mappingOf(const std::string& path);
// The failure of a module still mapped once the host unloaded it, which kept itself there
// (pinned, or loaded again by its own code): so on Windows, where nothing else keeps one. ""
// on Linux, whose loader keeps some of its own accord (a C++ module's unique symbols, -z
// nodelete).
std::string stillMappedAfterUnload();
// What the C library (and on Windows the system) keeps for this process that points into
// `ranges`, a module's former mapping: "the environment entry FOO", "stdout's buffer",
// "SIGUSR1's handler", "the unhandled-exception filter (SetUnhandledExceptionFilter)".
std::vector<std::string> heldPointersInto(const AddressRanges& ranges);

// Sets up, before the plug-in loads, what lateCallbackInto needs to be called first.
void watchForLateCallbacks();
// Drives what the system would call back into `ranges`, a module's former image kept
// inaccessible: an exception the process handles, for its vectored exception handlers, the freeing
// of the fiber-local storage slots taken since watchForLateCallbacks, for their callbacks, and a
// Ctrl+Break, for its console control handlers. A call into the image is taken as having returned
// at once with 0, and is the failure ("once it was unloaded, a vectored exception handler ... still
// called into it"); "" when none came. On Linux the system keeps no such callback: "".
std::string lateCallbackInto(const AddressRanges& ranges);

// The threads of this process that still run.
std::size_t runningThreads();

// Which of this process's heaps the system's own check finds damaged now ("the C runtime's heap
// (malloc's)"), or "" when none. Linux has no such check of glibc's heap that works without
// preloading its debugging library before the first allocation: there, "".
std::string damagedHeap();

// Ends this process with `status` without running what the C library runs at exit.
[[noreturn]] void endAtOnce(int status);

// Whether `pointer` lies in one of `ranges`.
bool insideAny(const AddressRanges& ranges, const void* pointer);
// "environment entry N" for each entry of `environment` that lies in `ranges`. Only the
// addresses are looked at: what they pointed to may be gone.
std::vector<std::string> entriesInside(const AddressRanges& ranges, char* const* environment);

// How this process still holds the file at `path` open ("descriptor 7"), or "" when it does not.
std::string heldOpen(const std::string& path);

// What the calls between the snapshots changed, each as "what seen, expected what". Settings
// (signal handling, limits, folder, locale, ...), threads and child processes must be as `before`
// had them. Open files (descriptors, handles) may be set up once, by the first round of calls,
// but must not change in the second round, nor lose anything the process held before.
std::vector<std::string> changesOverCalls(const ProcessState& before, const ProcessState& between,
                                          const ProcessState& after);

namespace detail {
// What only this system shows of the process (on Linux: limits, /proc, prctl), added to `state`.
void addSystemFacts(ProcessState& state);
// What the C library keeps beyond POSIX (glibc's stream buffers) that points into `ranges`.
void addLibraryHeld(const AddressRanges& ranges, std::vector<std::string>& held);
}  // namespace detail

}  // namespace rawout
