/* The boundary between a Velmont export plug-in and its host.
 *
 * A host loads a plug-in module at run time and finds three functions in it by name. They take
 * and return plain integers and addresses, use the C calling convention (RAWOUT_CALL) and never
 * let an exception out. Every export plug-in builds against this header, and every host
 * includes it, so the two cannot drift apart. C89 to C23 and C++98 to C++23.
 *
 * The contract every export plug-in owes a host, whatever its format writes (and every host may
 * rely on), is the comment on each of the three declarations below and the one headed "Every
 * entry point": a paragraph on what the function does, then a sentence for each parameter and
 * for the result. rawout-plugin(7) is made from these comments (cmake/contract_manual.cmake),
 * which stops the build on one it cannot read: each comment ends just before its declaration,
 * and in it a line "  NAME: ..." starts a parameter, "  Returns ..." the result, and a line
 * indented further goes on with the one before.
 */
#ifndef RAWOUT_EXPORT_PLUGIN_H
#define RAWOUT_EXPORT_PLUGIN_H

/* <stdint.h>, not <cstdint>: C++98 hosts have only the C header. */
#include <stdint.h> /* NOLINT(modernize-deprecated-headers) */

/* The version of this boundary and of the rawout package that ships it. */
#define RAWOUT_VERSION_MAJOR 1
#define RAWOUT_VERSION_MINOR 1
#define RAWOUT_VERSION_PATCH 0

/* The longest base name, in bytes before its zero, that every plug-in takes. */
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

/* Every entry point:
 *   Nothing runs at load or unload time but the language runtime's own start-up, and nothing is
 *   left to run at the host's exit. Nothing is written to the host's standard output or error.
 *   The host's process is left as it was found: signal handling and mask, resource limits,
 *   timers, working folder, umask, environment, locale, scheduling, floating-point settings,
 *   descriptors and handles and their flags, stream buffering and orientation, process group, ids
 *   and capabilities. No thread or process the plug-in started still runs when a call returns,
 *   since it would run on once the host unloads the plug-in. Nothing the C library keeps for the
 *   host (environment entries, stream buffers, signal handlers) points into the plug-in once it is
 *   unloaded. Calls from several threads at once, for different names, are safe.
 *   `exporthost check` holds a plug-in to these promises and to those of each function, but for
 *   the few that no check can see, which docs/plugin-authors.md lists; what a file holds it checks
 *   as the author declares it (--expect=identity, or --reference=COMMAND for a format that
 *   transforms its bytes; COMMAND finds the base name in RAWOUT_BASE_NAME).
 */

/* SavePrgmFile writes a block, in the format's own encoding, to the file named by the base name
 * followed by the format's extension, and says whether it worked. An existing file of that name
 * is replaced whole; a folder that does not exist is not created, and no file is written but the
 * output. The same block under the same name gives the same bytes, whatever the thread, what the
 * file held before, how many saves came before and whether `extOut` is null (a format may put the
 * name into its output, as S-record headers do).
 *   data: the block. The host guarantees `size` readable bytes there, and may pass null when
 *     `size` is 0; the plug-in reads them during the call only, and never writes them.
 *   size: the count of bytes at `data`. Every count and every byte value is accepted, 0 among
 *     them: the file is still made.
 *   baseName: the path of the file to write, without extension: zero-terminated and never null,
 *     relative or absolute, with spaces, mixed case and bytes 0x80-0xFF (UTF-8 or not). Every one
 *     of up to RAWOUT_BASE_NAME_MAX (123) bytes is taken as it is; a longer one gives that exact
 *     file or 0, never a file of another name. The plug-in reads it during the call only, and
 *     never writes it.
 *   extOut: RAWOUT_EXTENSION_BUFFER_SIZE (5) bytes the host provides, or null. On success the
 *     plug-in stores the extension there: the same for every block, a dot, at most three more
 *     bytes and a terminating zero, and nothing past them. On failure it leaves them untouched.
 *   Returns 1 once the whole output is in the file and the file is closed; otherwise 0, also when
 *     a write fails part-way (a full disk, a file-size limit), and then any incomplete file it
 *     made is gone. Why a save failed is left in errno (on Windows in GetLastError() of the
 *     calling thread, which a host reads whatever C runtime it uses).
 */
RAWOUT_EXPORT int RAWOUT_CALL SavePrgmFile(const void* data, uint32_t size, const char* baseName,
                                           char* extOut) RAWOUT_NOEXCEPT;

/* GetPluginDescription gives the format's display name.
 *   Returns non-empty printable 8-bit text, zero-terminated and owned by the plug-in: the same
 *     address on every call and from every thread, unchanged while the plug-in is loaded. The host
 *     neither changes nor frees it.
 */
RAWOUT_EXPORT const char* RAWOUT_CALL GetPluginDescription(void) RAWOUT_NOEXCEPT;

/* About shows a modal box about the plug-in and blocks the calling thread until it is dismissed.
 *   Returns 1 once the box is dismissed, or 0 when no box could be shown (or the plug-in has
 *     none).
 */
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
