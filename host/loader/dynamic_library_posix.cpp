// Run-time loading with the dynamic loader.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "loader/dynamic_library.h"

namespace rawout::detail {

namespace {

std::string lastLoaderError() {
  const char* message = ::dlerror();
  return message != nullptr ? message : "unknown error";
}

}  // namespace

const char* folderSeparator() { return "/"; }

void* openLibrary(const std::string& path, std::string& error, bool& looked) {
  // A name without a slash would send dlopen through the library search path.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // The loader would open a FIFO or a device and wait on it for ever.
  struct stat status {};
  if (::stat(file.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    error =
        S_ISDIR(status.st_mode) ? "it is a folder, not a module file" : "it is not a regular file";
    looked = false;
    return nullptr;
  }
  looked = true;
  // RTLD_NOW: a module with an unresolved symbol fails here, not in the middle of an export.
  void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    error = lastLoaderError();
  }
  return library;
}

void* findSymbol(void* library, const char* name) {
  ::dlerror();
  return ::dlsym(library, name);
}

void closeLibrary(void* library) { ::dlclose(library); }

}  // namespace rawout::detail
