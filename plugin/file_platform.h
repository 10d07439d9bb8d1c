// What the shared writer needs from the platform's file system and failure channels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rawout {

// The mode outputs are opened in: "wb", and not inherited by a process that another host thread
// starts while the file is open (close-on-exec; on Windows "N").
extern const char kWriteMode[];
// The longest file name the platform's file functions take, terminator included.
extern const std::size_t kMaxFileNameBytes;

// What went wrong, in the terms of the failure channels.
enum class Failure : std::uint8_t {
  NullArgument,  // refused by the module
  NameTooLong,   // refused by the module
  InvalidName,   // refused by the module
  NoMemory,      // refused by the module: no room for a long name
  Open,          // reported by the C library (and the system) while opening
  Write,         // ... while writing
  Close,         // ... while closing
};

// A failure's cause: errno, and on Windows also the system's last-error code, which is the one
// channel every host can read whatever C runtime it was built with.
struct Cause {
  int error = 0;
  std::uint32_t system = 0;
};

// Clears what the platform would otherwise leave over from an earlier step, so that a cause read
// afterwards belongs to the step that failed. No system call.
void clearCause() noexcept;
// The cause of `failure`: fixed for the module's own refusals, otherwise what the C library and
// the system reported just now.
Cause causeOf(Failure failure) noexcept;
// Leaves `cause` where the host reads it. Returns 0, the result of a failed save.
int report(const Cause& cause) noexcept;

// Removes `fileName` only if it is an ordinary file, never what a link points to or a device.
void removeIfRegularFile(const char* fileName) noexcept;

// False for a name the system would not take as a plain file (on Windows a colon beyond the
// drive, a hidden alternate stream of another file, or a reserved device name such as NUL or COM1
// as the last component: either would be "written" with success reported and no file made).
bool namesAPlainFile(const char* fileName) noexcept;

// Writes the whole block to the unbuffered stream, going on after a signal the host handles
// without SA_RESTART, and fills `cause` when it fails. No signal a failed write raises (on POSIX,
// SIGPIPE for a reader gone, SIGXFSZ for a file-size limit) reaches the host: mask, dispositions
// and pending signals are then as the host left them.
bool writeBlock(std::FILE* file, const void* data, std::size_t size, Cause& cause) noexcept;
// The loop of writeBlock, the same on every platform.
bool writeWhole(std::FILE* file, const void* data, std::size_t size) noexcept;

}  // namespace rawout
