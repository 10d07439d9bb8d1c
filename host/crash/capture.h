// For a check process: a fault (on Linux SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP; on Windows any
// exception no one handles) is recorded into a file, from the fault's own context and with only
// what is safe there, and the process then waits, stopped, for exporthost to read its stacks and
// end it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rawout {

// Records faults into the file at `path`, made now. False when it cannot be made.
bool captureCrashesInto(const std::string& path);

// From a fault handler (on POSIX with its siginfo_t and ucontext_t, on Windows with the
// EXCEPTION_POINTERS and nothing): the fault recorded and the process stopped until exporthost
// has read it, as for a fault no one handles. The first fault alone; nothing unless
// captureCrashesInto was called. Safe in a signal handler.
void witnessFault(const void* fault, const void* context) noexcept;

// Runs `unload` (the plug-in's unload) watching this thread for a fault that the system's loader
// would hide: on Windows an exception in DllMain as the DLL detaches is taken by the loader
// itself. The first is witnessed as witnessFault does, and is the failure ("it faulted as it was
// unloaded (exception 0xC0000005), which the system's loader hid"); "" when none. On Linux a fault
// there is a signal like any other, and this runs `unload` alone.
std::string faultWhileUnloading(const std::function<void()>& unload);

// The access a fault made: 'w' a write, 'x' an execute, 'r' a read, '?' not known; from the fault
// handler's arguments, as for witnessFault. Safe in a signal handler.
char accessOfFault(const void* fault, const void* context) noexcept;

// What the host lent lies at `address` ("the block at byte 3, which the host lent", "4 bytes
// past the extension buffer, which the host lent"), or what was the plug-in's image, into `text`
// (at most `capacity` bytes, zero-terminated); 0 when neither does. Safe in a signal handler.
std::size_t lentAt(const void* address, char* text, std::size_t capacity) noexcept;

// The plug-in's image was at [begin, end) until it was unloaded; the range is kept from reuse, so
// that a late call into it faults there and is named so.
void rememberUnloadedImage(std::uintptr_t begin, std::uintptr_t end) noexcept;

}  // namespace rawout
