/* A host of export plug-ins as small as it can be, for host developers: it loads the plug-in
 * module named on its command line, saves a file's bytes through it under a base name, and says
 * what the plug-in wrote or, when it gives 0, why (errno on POSIX, the last-error code on
 * Windows, which the boundary header says a plug-in leaves).
 *
 *   plugin_host PLUGIN INPUT BASENAME
 *
 * PLUGIN is a path (./myformat.so): a name without a slash is looked for where the system keeps
 * its libraries.
 * Built against an installed rawout (find_package(rawout) or pkg-config), in C89. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <rawout/export_plugin.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

/* The whole file, in memory: the boundary hands a plug-in the program in one block. */
static unsigned char* readWhole(const char* path, uint32_t* size) {
  unsigned char* bytes = NULL;
  size_t held = 0;
  size_t room = 0;
  FILE* file = fopen(path, "rb");
  if (file == NULL) {
    return NULL;
  }
  for (;;) {
    size_t got;
    if (held == room) {
      unsigned char* larger = (unsigned char*)realloc(bytes, room == 0 ? 65536 : room * 2);
      if (larger == NULL) {
        break;
      }
      bytes = larger;
      room = room == 0 ? 65536 : room * 2;
    }
    got = fread(bytes + held, 1, room - held, file);
    held += got;
    if (got == 0) {
      break;
    }
  }
  if (ferror(file) || held > 0xFFFFFFFFUL || bytes == NULL) {
    free(bytes);
    bytes = NULL;
  }
  fclose(file);
  *size = (uint32_t)held;
  return bytes;
}

/* Loads the module at `path` and finds the two entry points this host calls; 0 when it is no
 * export plug-in. The module stays loaded until the host ends. */
static int loadPlugin(const char* path, SavePrgmFileProc* save,
                      GetPluginDescriptionProc* describe) {
#ifdef _WIN32
  HMODULE module = LoadLibraryA(path);
  if (module != NULL) {
    *(FARPROC*)save = GetProcAddress(module, "SavePrgmFile");
    *(FARPROC*)describe = GetProcAddress(module, "GetPluginDescription");
  }
#else
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module != NULL) {
    *(void**)save = dlsym(module, "SavePrgmFile");
    *(void**)describe = dlsym(module, "GetPluginDescription");
  }
#endif
  return *save != 0 && *describe != 0;
}

/* Saves the program through the plug-in and says why when it could not. The cause is read at
 * once: any other call could change it. */
static int saveProgram(const char* host, SavePrgmFileProc save, GetPluginDescriptionProc describe,
                       const unsigned char* program, uint32_t size, const char* baseName) {
  char extension[RAWOUT_EXTENSION_BUFFER_SIZE];
  int saved;
  errno = 0;
#ifdef _WIN32
  SetLastError(0);
#endif
  saved = save(program, size, baseName, extension);
  if (saved != 1) {
#ifdef _WIN32
    const DWORD cause = GetLastError();
    fprintf(stderr, "%s: %s could not save %s (error %lu)\n", host, describe(), baseName,
            (unsigned long)cause);
#else
    const int cause = errno;
    fprintf(stderr, "%s: %s could not save %s: %s\n", host, describe(), baseName,
            cause != 0 ? strerror(cause) : "no cause given");
#endif
    return 0;
  }
  printf("%s%s: %lu bytes saved as %s\n", baseName, extension, (unsigned long)size, describe());
  return 1;
}

int main(int argc, char** argv) {
  SavePrgmFileProc save = 0;
  GetPluginDescriptionProc describe = 0;
  uint32_t size = 0;
  unsigned char* program;
  int saved;
  if (argc != 4) {
    fprintf(stderr, "usage: %s PLUGIN INPUT BASENAME\n", argv[0]);
    return 2;
  }
  program = readWhole(argv[2], &size);
  if (program == NULL) {
    fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[2]);
    return 1;
  }
  if (!loadPlugin(argv[1], &save, &describe)) {
    fprintf(stderr, "%s: %s is no export plug-in\n", argv[0], argv[1]);
    free(program);
    return 1;
  }
  saved = saveProgram(argv[0], save, describe, program, size, argv[3]);
  free(program);
  return saved ? 0 : 1;
}
