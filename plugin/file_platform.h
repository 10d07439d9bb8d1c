// What the shared writer needs from the platform's file system and failure channels.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#ifndef _WIN32
#include <csignal>
#endif

namespace rawout {

#ifdef _WIN32
// "N": the handle is not inherited by processes the host starts while it is open.
inline constexpr char kWriteMode[] = "wbN";
// The longest name the ANSI file functions can be handed; they reject what they cannot take.
inline constexpr std::size_t kMaxFileNameBytes = 32768;
#else
// "e": close-on-exec, so a child that another host thread starts meanwhile cannot inherit it.
inline constexpr char kWriteMode[] = "wbe";
// Terminator included, as the kernel counts it.
inline constexpr std::size_t kMaxFileNameBytes = PATH_MAX;
#endif

// What went wrong, in the terms of the failure channels.
enum class Failure : std::uint8_t {
  NullArgument,  // refused by the module
  NameTooLong,   // refused by the module
  InvalidName,   // refused by the module
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

#ifdef _WIN32
// False for a name the system would not take as a plain file: a colon beyond the drive (a hidden
// alternate stream of another file) or a reserved device name such as NUL or COM1 as the last
// component. Either would be "written" with success reported and no file made.
bool namesAPlainFile(const char* fileName) noexcept;

// Windows raises no signal for a failed write.
class WriteSignalGuard {
 public:
  void absorb(int /*error*/) noexcept {}
};
#else
inline bool namesAPlainFile(const char* /*fileName*/) noexcept { return true; }

// Keeps SIGPIPE (reader gone) and SIGXFSZ (file-size limit) that a failed write raises from
// reaching the host: both are blocked on the calling thread while it lives, and the one a failed
// write raised is absorbed unless the host had it blocked already. Mask, dispositions and
// pending signals are then as the host left them.
class WriteSignalGuard {
 public:
  WriteSignalGuard() noexcept;
  ~WriteSignalGuard();
  WriteSignalGuard(const WriteSignalGuard&) = delete;
  WriteSignalGuard& operator=(const WriteSignalGuard&) = delete;
  // Called after a write failed with `error`.
  void absorb(int error) noexcept;

 private:
  sigset_t hostMask_{};
  bool guarded_ = false;
};
#endif

}  // namespace rawout
