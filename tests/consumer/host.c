/* A host as small as can be, in C89 (and, through host.cpp, C++98): it loads the module named
 * by RAWOUT_MODULE and prints its display name. Built against an installed rawout only. */
#include <dlfcn.h>
#include <stdio.h>

#include <rawout/export_plugin.h>

int main(void) {
  GetPluginDescriptionProc describe = 0;
  void* module = dlopen(RAWOUT_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (module == 0) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  *(void**)(&describe) = dlsym(module, "GetPluginDescription");
  if (describe == 0) {
    return 1;
  }
  puts(describe());
  dlclose(module);
  return 0;
}
