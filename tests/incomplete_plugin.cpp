// A module that lacks one of the three entry points, for the loader to refuse.
#include <rawout/export_plugin.h>

#include <cstdint>

extern "C" int SavePrgmFile(const void* /*data*/, std::uint32_t /*size*/, const char* /*baseName*/,
                            char* /*extOut*/) noexcept {
  return 0;
}

extern "C" const char* GetPluginDescription() noexcept { return "Incomplete"; }
