// A small export plug-in that is not rawout: it appends ".raw". Built as it is, it keeps the host
// contract; each TEST_PLUGIN_FAULT_* definition breaks one rule of it, so that a host's checks
// can be shown to catch that fault:
//   CRLF            writes each line feed as carriage return + line feed, as text mode does
//   LONG_EXTENSION  reports ".binary", past the five bytes the host provides
//   LEAKS           never closes its file
//   CHATTY          prints to the host's standard output
//   NO_TERMINATOR   reports ".binx" with no terminating zero in the five bytes
//   REFUSES_EMPTY   gives 0 for an empty block (its right: not a contract fault)
//   SHRINKS_INPUT   empties the file named by TEST_PLUGIN_SHRINK, then reads the block itself
#include <rawout/export_plugin.h>

#include <cstdint>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
#ifdef TEST_PLUGIN_FAULT_LONG_EXTENSION
constexpr char kExtension[] = ".binary";
#elif defined(TEST_PLUGIN_FAULT_NO_TERMINATOR)
constexpr char kExtension[] = ".binx";  // copied without its zero
#else
constexpr char kExtension[] = ".raw";
#endif

bool write(const void* data, std::uint32_t size, std::FILE* file) {
#ifdef TEST_PLUGIN_FAULT_CRLF
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::uint32_t index = 0; index < size; ++index) {
    if ((bytes[index] == '\n' && std::fputc('\r', file) == EOF) ||
        std::fputc(bytes[index], file) == EOF) {
      return false;
    }
  }
  return true;
#else
  return size == 0 || std::fwrite(data, 1, size, file) == size;
#endif
}

int close(std::FILE* file) {
#ifdef TEST_PLUGIN_FAULT_LEAKS
  return std::fflush(file);
#else
  return std::fclose(file);
#endif
}
}  // namespace

extern "C" int SavePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                            char* extOut) noexcept {
  if (baseName == nullptr || (data == nullptr && size != 0)) {
    return 0;
  }
#ifdef TEST_PLUGIN_FAULT_REFUSES_EMPTY
  if (size == 0) {
    return 0;
  }
#endif
#ifdef TEST_PLUGIN_FAULT_SHRINKS_INPUT
  if (const char* input = std::getenv("TEST_PLUGIN_SHRINK")) {
    std::fclose(std::fopen(input, "wb"));
    volatile unsigned sum = 0;
    for (std::uint32_t index = 0; index < size; ++index) {
      sum = sum + static_cast<const unsigned char*>(data)[index];
    }
  }
#endif
  const std::string fileName = std::string(baseName) + kExtension;
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr) {
    return 0;
  }
  const bool written = write(data, size, file);
  if (close(file) != 0 || !written) {
    return 0;
  }
#ifdef TEST_PLUGIN_FAULT_CHATTY
  std::printf("saved %s\n", fileName.c_str());
#endif
  if (extOut != nullptr) {
#ifdef TEST_PLUGIN_FAULT_NO_TERMINATOR
    std::memcpy(extOut, kExtension, sizeof kExtension - 1);
#else
    std::memcpy(extOut, kExtension, sizeof kExtension);
#endif
  }
  return 1;
}

extern "C" const char* GetPluginDescription() noexcept { return "Raw Test File"; }

extern "C" int About() noexcept { return 0; }
