// A module file is the plug-in author's, and may be anything: its headers are read from any bytes
// without a read past them or a crash, and what they give is consistent.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "module/module_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const rawout::ByteSource source = [data, size](std::uint64_t offset, void* into,
                                                 std::size_t bytes) -> std::size_t {
    if (offset >= size) {
      return 0;
    }
    const std::size_t count = std::min<std::uint64_t>(bytes, size - offset);
    std::memcpy(into, data + offset, count);
    return count;
  };
  std::string why;
  const auto module = rawout::parseModuleFile(source, why);
  FUZZ_REQUIRE(module.has_value() == why.empty());
  if (module) {
    FUZZ_REQUIRE(module->bits == 32 || module->bits == 64);
    FUZZ_REQUIRE(!module->machine.empty());
    FUZZ_REQUIRE(!module->described().empty());
  }
  return 0;
}
