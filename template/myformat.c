/* myformat: a Velmont export plug-in that writes a program's bytes, unchanged, to a ".raw" file.
 *
 * A host (the Velmont environment, or exporthost) loads this module and calls its three
 * functions by name. rawout/export_plugin.h states what each one owes the host; the comments
 * here say how this one keeps it. Change the extension, the name and the writing to make your
 * own format, then run `ctest` to check it; tell the check what your files hold in
 * CMakeLists.txt (EXPECT identity here, since this one writes the bytes unchanged).
 *
 * Each definition carries RAWOUT_CALL and RAWOUT_NOEXCEPT as the header's declarations do, so
 * that this file also compiles as C++ (where the declarations are noexcept) and on Windows
 * with any default calling convention. */
#include <rawout/export_plugin.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The extension, dot included: at most four bytes, so that it and its terminating zero fit the
 * host's five-byte buffer. */
static const char extension[] = ".raw";

/* What the host shows in its list of export formats. It must stay at this address, unchanged,
 * for as long as the module is loaded: a string constant does. */
static const char displayName[] = "Raw Bytes";

RAWOUT_EXPORT int RAWOUT_CALL SavePrgmFile(const void* data, uint32_t size, const char* baseName,
                                           char* extOut) RAWOUT_NOEXCEPT {
  char* fileName;
  FILE* file;
  int written;

  /* The host never passes a null name, but a plug-in that gets one must not crash it. */
  if (baseName == NULL || (data == NULL && size != 0)) {
    errno = EINVAL;
    return 0;
  }

  /* The file is the base name followed by the extension. Allocated, not a fixed buffer: a long
   * name must never be cut short, since the shorter name could be another file. */
  fileName = (char*)malloc(strlen(baseName) + sizeof extension);
  if (fileName == NULL) {
    errno = ENOMEM;
    return 0;
  }
  strcpy(fileName, baseName);
  strcat(fileName, extension);

  /* "wb": created or truncated, and binary, so no line end is ever translated. A folder that
   * does not exist makes this fail, and the save gives 0 with errno saying why. */
  file = fopen(fileName, "wb");
  if (file == NULL) {
    free(fileName);
    return 0;
  }

  /* The whole block, then the close: only a close that worked means the bytes are in the file.
   * An empty block writes nothing and leaves an empty file. */
  written = size == 0 || fwrite(data, 1, size, file) == size;
  if (fclose(file) != 0) {
    written = 0;
  }
  if (!written) {
    /* An incomplete file must not be taken for the program: remove it, keeping the cause. */
    int cause = errno;
    remove(fileName);
    free(fileName);
    errno = cause;
    return 0;
  }
  free(fileName);

  /* Only now, on success, does the host learn the extension, if it asked for it. */
  if (extOut != NULL) {
    memcpy(extOut, extension, sizeof extension);
  }
  return 1;
}

RAWOUT_EXPORT const char* RAWOUT_CALL GetPluginDescription(void) RAWOUT_NOEXCEPT {
  return displayName;
}

/* A plug-in without a box of its own says so with 0, and leaves ABOUT out of its check in
 * CMakeLists.txt: the about check, run only when asked for, holds a plug-in to showing a box.
 * To show one, show a modal box here (MessageBoxA on Windows), return 1 once it is dismissed,
 * and add ABOUT to the check. */
RAWOUT_EXPORT int RAWOUT_CALL About(void) RAWOUT_NOEXCEPT { return 0; }
