// What the shared writer needs from the platform's file system.
#pragma once

#include <climits>
#include <cstddef>

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

// Removes `fileName` only if it is an ordinary file, never what a link points to or a device.
void removeIfRegularFile(const char* fileName) noexcept;

#ifdef _WIN32
// False for a name with a colon beyond its drive: Windows would write such a name into a hidden
// alternate stream of another file and report success.
bool namesAPlainFile(const char* fileName) noexcept;
#else
inline bool namesAPlainFile(const char* /*fileName*/) noexcept { return true; }
#endif

}  // namespace rawout
