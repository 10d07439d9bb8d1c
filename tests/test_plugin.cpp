// A small export plug-in that is not rawout: it appends TEST_PLUGIN_EXTENSION. Built as it is, it
// keeps the host contract; each TEST_PLUGIN_FAULT value breaks one rule of it, so that a host's
// checks can be shown to catch that fault.
#include <rawout/export_plugin.h>

#include <cstdio>
#include <cstring>
#include <string>

#ifndef TEST_PLUGIN_EXTENSION
#define TEST_PLUGIN_EXTENSION ".raw"
#endif

namespace {
constexpr char kExtension[] = TEST_PLUGIN_EXTENSION;
}  // namespace

extern "C" int SavePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                            char* extOut) noexcept {
  if (baseName == nullptr || (data == nullptr && size != 0)) {
    return 0;
  }
  const std::string fileName = std::string(baseName) + kExtension;
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr) {
    return 0;
  }
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    return 0;
  }
  if (extOut != nullptr) {
    std::memcpy(extOut, kExtension, sizeof kExtension);
  }
  return 1;
}

extern "C" const char* GetPluginDescription() noexcept { return "Raw Test File"; }

extern "C" int About() noexcept { return 0; }
