/* The boundary between a Velmont export plug-in and its host.
 *
 * A host loads a plug-in module at run time and finds three functions in it by name. They take
 * and return plain integers and addresses, use the C calling convention (RAWOUT_CALL) and never
 * let an exception out. Every export plug-in builds against this header, and every host
 * includes it, so the two cannot drift apart. C89 to C23 and C++98 to C++23.
 *
 * The contract every export plug-in owes a host (and every host may rely on), whatever its
 * format writes:
 *
 *   int SavePrgmFile(const void* data, uint32_t size, const char* baseName, char* extOut)
 *     Writes the `size` bytes at `data`, in the format's own encoding, to a file named `baseName`
 *     followed by the format's extension. Every base name of up to RAWOUT_BASE_NAME_MAX (123)
 *     bytes is taken as it is, relative or absolute, with spaces, mixed case and bytes 0x80-0xFF
 *     (UTF-8 or not); a longer one gives that exact file or 0, never a file of another name. Every
 * byte value is accepted, and `size` may be 0, with `data` null; the file is still made. An
 * existing file of that name is replaced whole. The same block under the same name gives the same
 * bytes, whatever the thread, what the file held before, how many saves came before and whether
 * `extOut` is null (a format may put the name into its output, as S-record headers do). Returns 1
 * once the whole output is in the file and the file is closed; otherwise 0, also when a write fails
 * part-way (a full disk, a file-size limit), and then any incomplete file it made is gone and
 * `extOut` is untouched. A folder that does not exist is not created, and no file is written but
 * the output. On success, unless `extOut` is null, it stores the extension in `extOut`: the same
 * for every block, a dot, at most three more bytes and a terminating zero, within
 * RAWOUT_EXTENSION_BUFFER_SIZE (5) bytes, and nothing past them. Why a save failed is left in errno
 * (on Windows in GetLastError() of the calling thread, which a host reads whatever C runtime it
 * uses). The host owns the four arguments; the plug-in uses them only during the call.
 *
 *   const char* GetPluginDescription(void)
 *     Returns the format's display name: non-empty printable 8-bit text, owned by the plug-in,
 *     at the same address on every call and from every thread, unchanged while it is loaded.
 *
 *   int About(void)
 *     Shows a modal box about the plug-in and blocks the calling thread until it is dismissed;
 *     returns 1 then, or 0 when no box could be shown (or the plug-in has none).
 *
 *   In all three: nothing runs at load or unload time but the language runtime's own start-up,
 *   and nothing is left to run at the host's exit; nothing is written to the host's standard
 *   output or error; the host's process is left as it was found (signal handling and mask,
 *   resource limits, timers, working folder, umask, environment, locale, scheduling,
 *   floating-point settings, descriptors and handles and their flags, stream buffering and
 *   orientation, process group, ids and capabilities); no thread or process it started still
 *   runs when a call returns, since it would run on once the host unloads the plug-in; nothing
 *   the C library keeps for the host (environment entries, stream buffers, signal handlers)
 *   points into the plug-in once it is unloaded; calls from several threads at once, for
 *   different names, are safe.
 *   `exporthost check` holds a plug-in to each of these promises; what the file holds it checks
 *   as the author declares it (--expect=identity, or --reference=COMMAND for a format that
 *   transforms its bytes; COMMAND finds the base name in RAWOUT_BASE_NAME).
 *
 * rawout's own format: the bytes unchanged, byte for byte (no line-end translation), the
 * extension ".bin" and the display name "Binary File".
 */
#ifndef RAWOUT_EXPORT_PLUGIN_H
#define RAWOUT_EXPORT_PLUGIN_H

/* <stdint.h>, not <cstdint>: C++98 hosts have only the C header. */
#include <stdint.h> /* NOLINT(modernize-deprecated-headers) */

/* The version of this boundary and of the rawout package that ships it. */
#define RAWOUT_VERSION_MAJOR 1
#define RAWOUT_VERSION_MINOR 1
#define RAWOUT_VERSION_PATCH 0

/* The longest base name, in bytes before its zero, that every plug-in takes (rawout takes any
 * the system takes). */
#define RAWOUT_BASE_NAME_MAX 123

/* The bytes a host provides at `extOut`: a dot, up to three more bytes and the zero. */
#define RAWOUT_EXTENSION_BUFFER_SIZE 5

/* The file name of the rawout module on this platform. */
#ifdef _WIN32
#define RAWOUT_MODULE_FILE_NAME "rawout.dll"
#else
#define RAWOUT_MODULE_FILE_NAME "rawout.so"
#endif

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

/* The calling convention of the three functions: cdecl on Windows, named so that a host built
 * with another default (MSVC's /Gz, /Gr or /Gv) still calls them rightly; the platform's C
 * convention elsewhere. A plug-in's definitions name it too, with RAWOUT_NOEXCEPT, so that they
 * match these declarations in C and in C++ alike:
 *   RAWOUT_EXPORT int RAWOUT_CALL SavePrgmFile(...) RAWOUT_NOEXCEPT { ... } */
#ifdef _WIN32
#define RAWOUT_CALL __cdecl
#else
#define RAWOUT_CALL
#endif

/* RAWOUT_EXPORT marks the three definitions in a plug-in so that they are exported by their
 * plain names. A plug-in defines RAWOUT_BUILDING_PLUGIN before including this header
 * (rawout_add_plugin() in CMake does); a host does not, and gets plain declarations.
 *   - ELF systems: default visibility, for a module built with -fvisibility=hidden.
 *   - Windows, with mingw-w64 or MSVC: __declspec(dllexport). These are cdecl functions, which
 *     both compilers export undecorated, on 32-bit Windows too ("SavePrgmFile", not
 *     "_SavePrgmFile"). A plug-in may instead list the three names in a module-definition file
 *     ("EXPORTS", then SavePrgmFile, GetPluginDescription and About, a line each) and leave
 *     RAWOUT_BUILDING_PLUGIN undefined; that is the route for a C compiler that knows no
 *     __declspec, and what rawout_add_plugin() adds on Windows, so that exactly these three
 *     names are exported whatever else the code declares. */
#if defined(_WIN32) && defined(RAWOUT_BUILDING_PLUGIN)
#define RAWOUT_EXPORT __declspec(dllexport)
#elif defined(__GNUC__) && !defined(_WIN32)
#define RAWOUT_EXPORT __attribute__((visibility("default")))
#else
#define RAWOUT_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* rawout's: writes the block to `baseName` + ".bin" and stores ".bin" in `extOut`. Also refused
 * with 0, before any file is touched: a null `baseName`, a null `data` with `size` above 0, and
 * on Windows a name the system maps to a device (NUL, CON, PRN, AUX, COM0-9, LPT0-9, also with
 * an extension or trailing spaces) or one with a colon beyond its drive. No signal reaches the
 * host: SIGPIPE and SIGXFSZ from a failed write are held back on the calling thread, and a write
 * that the host's own signals interrupt goes on. */
RAWOUT_EXPORT int RAWOUT_CALL SavePrgmFile(const void* data, uint32_t size, const char* baseName,
                                           char* extOut) RAWOUT_NOEXCEPT;

/* rawout's: "Binary File". */
RAWOUT_EXPORT const char* RAWOUT_CALL GetPluginDescription(void) RAWOUT_NOEXCEPT;

/* rawout's: a box captioned "About rawout.dll" (on Linux drawn by zenity or xmessage). */
RAWOUT_EXPORT int RAWOUT_CALL About(void) RAWOUT_NOEXCEPT;

/* What a host holds after looking the three names up. C hosts include this header too. */
/* NOLINTBEGIN(modernize-use-using, modernize-redundant-void-arg) */
typedef int(RAWOUT_CALL* SavePrgmFileProc)(const void* data, uint32_t size, const char* baseName,
                                           char* extOut) RAWOUT_NOEXCEPT_TYPE;
typedef const char*(RAWOUT_CALL* GetPluginDescriptionProc)(void)RAWOUT_NOEXCEPT_TYPE;
typedef int(RAWOUT_CALL* AboutProc)(void) RAWOUT_NOEXCEPT_TYPE;
/* NOLINTEND(modernize-use-using, modernize-redundant-void-arg) */

#ifdef __cplusplus
}
#endif

#endif
