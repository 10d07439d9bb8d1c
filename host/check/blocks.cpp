#include "check/blocks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rawout {

namespace {

// Every byte value, an empty block, a small and a long one (past 64 KiB, where address-carrying
// formats change their addressing) and the large one.
constexpr std::array kContentBlocks = {
    ContentBlock{"all", 256, 0},
    ContentBlock{"empty", 0, 1},
    ContentBlock{"pattern", 1000, 41},
    ContentBlock{"long", 70000, 42},
    ContentBlock{"large", std::size_t{16} << 20, 4},
};

}  // namespace

std::span<const ContentBlock> contentBlocks() { return kContentBlocks; }

Bytes bytesOf(const ContentBlock& block) {
  return block.seed == 0 ? everyByteValue() : pattern(block.size, block.seed);
}

std::string expectedFile(const std::string& hostFiles, const ContentBlock& block) {
  return hostFiles + "/" + std::string(block.name) + ".expected";
}

Bytes pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  // Eight bytes a step: a 16 MiB block is made quickly even in an instrumented build.
  std::uint64_t state = seed | 1U;
  for (std::size_t index = 0; index < size; index += sizeof state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes.data() + index, &state, std::min(sizeof state, size - index));
  }
  return bytes;
}

Bytes everyByteValue() {
  Bytes bytes(256);
  for (std::size_t value = 0; value < bytes.size(); ++value) {
    bytes[value] = static_cast<unsigned char>(value);
  }
  return bytes;
}

}  // namespace rawout
