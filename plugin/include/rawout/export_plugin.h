/* The boundary between an export plug-in and its host.
 *
 * A host loads the module at run time and finds these three functions by name. They take and
 * return plain integers and addresses, use the platform's default C calling convention and never
 * let an exception out. Included by the module and by every host, so the two cannot drift apart.
 */
#ifndef RAWOUT_EXPORT_PLUGIN_H
#define RAWOUT_EXPORT_PLUGIN_H

/* <stdint.h>, not <cstdint>: C++98 hosts have only the C header. */
#include <stdint.h> /* NOLINT(modernize-deprecated-headers) */

/* noexcept where the language has it: on declarations from C++11, in function types from C++17.
 * MSVC reports its language level in _MSVC_LANG. */
#if defined(_MSVC_LANG) && _MSVC_LANG > __cplusplus
#define RAWOUT_CPLUSPLUS _MSVC_LANG
#elif defined(__cplusplus)
#define RAWOUT_CPLUSPLUS __cplusplus
#else
#define RAWOUT_CPLUSPLUS 0L
#endif
#if RAWOUT_CPLUSPLUS >= 201103L
#define RAWOUT_NOEXCEPT noexcept
#else
#define RAWOUT_NOEXCEPT
#endif
#if RAWOUT_CPLUSPLUS >= 201703L
#define RAWOUT_NOEXCEPT_TYPE noexcept
#else
#define RAWOUT_NOEXCEPT_TYPE
#endif

#ifdef __cplusplus
extern "C" {
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
                                char* extOut) RAWOUT_NOEXCEPT_TYPE;
typedef const char* (*GetPluginDescriptionProc)(void)RAWOUT_NOEXCEPT_TYPE;
typedef int (*AboutProc)(void) RAWOUT_NOEXCEPT_TYPE;
/* NOLINTEND(modernize-use-using, modernize-redundant-void-arg) */

#ifdef __cplusplus
}
#endif

#endif
