/* The boundary between an export plug-in and its host.
 *
 * A host loads the module at run time and finds these three functions by name. They take and
 * return plain integers and addresses, use the platform's default C calling convention and never
 * let an exception out. Included by the module and by every host, so the two cannot drift apart.
 */
#ifndef RAWOUT_EXPORT_PLUGIN_H
#define RAWOUT_EXPORT_PLUGIN_H

#ifdef __cplusplus
#include <cstdint>
#define RAWOUT_NOEXCEPT noexcept
extern "C" {
#else
#include <stdint.h>
#define RAWOUT_NOEXCEPT
#endif

#if defined(__GNUC__) && !defined(_WIN32)
#define RAWOUT_EXPORT __attribute__((visibility("default")))
#else
/* Windows exports by name through the module-definition file. */
#define RAWOUT_EXPORT
#endif

/* Writes `size` bytes from `data`, unchanged, to the file named `baseName` followed by ".bin",
 * creating it or truncating it in place. Returns 1 once the whole block is in the file, and then
 * stores ".bin" and a zero byte (five bytes, nothing more) in `extOut` unless it is null. Returns
 * 0 when the file cannot be opened, written or closed; `extOut` is then untouched and an
 * incomplete regular file is removed. A null `baseName`, or a null `data` with `size` above 0,
 * gives 0 without touching any file; so does, on Windows, a name the system maps to a device
 * (NUL, CON, PRN, AUX, COM0-9, LPT0-9, also with an extension or trailing spaces) or one with a
 * colon beyond its drive.
 *
 * Why a save failed: on Windows, GetLastError() on the calling thread (the system's code; errno
 * too, but that belongs to the module's C runtime, which need not be the host's); on other
 * systems, errno. No signal reaches the host: SIGPIPE and SIGXFSZ from a failed write are held
 * back on the calling thread, and a write that the host's own signals interrupt goes on.
 *
 * The caller owns all four arguments; the module uses them only during the call. Safe to call
 * from several threads at once for different names. */
RAWOUT_EXPORT int SavePrgmFile(const void* data, uint32_t size, const char* baseName,
                               char* extOut) RAWOUT_NOEXCEPT;

/* Returns the format's display name, "Binary File": constant text owned by the module, at the
 * same address on every call and valid while the module stays loaded. Any thread may call it. */
RAWOUT_EXPORT const char* GetPluginDescription(void) RAWOUT_NOEXCEPT;

/* Shows the modal about box and blocks the calling thread until it is dismissed. Returns 1 (OK)
 * once it was shown and closed, or 0 if it could not be shown. */
RAWOUT_EXPORT int About(void) RAWOUT_NOEXCEPT;

/* What a host holds after looking the three names up. C hosts include this header too. */
/* NOLINTBEGIN(modernize-use-using, modernize-redundant-void-arg) */
typedef int (*SavePrgmFileProc)(const void* data, uint32_t size, const char* baseName,
                                char* extOut) RAWOUT_NOEXCEPT;
typedef const char* (*GetPluginDescriptionProc)(void)RAWOUT_NOEXCEPT;
typedef int (*AboutProc)(void) RAWOUT_NOEXCEPT;
/* NOLINTEND(modernize-use-using, modernize-redundant-void-arg) */

#ifdef __cplusplus
}
#endif

#endif
