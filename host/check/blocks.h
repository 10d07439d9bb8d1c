// The blocks the checks save: every byte value, and reproducible patterns of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rawout {

using Bytes = std::vector<unsigned char>;

// The blocks the content check saves. With a reference command, exporthost runs it on each
// block first and leaves what it wrote as hostFiles/NAME.expected.
struct ContentBlock {
  std::string_view name;
  std::size_t size;
  std::uint32_t seed;  // for pattern(); 0 for every byte value in turn
};
std::span<const ContentBlock> contentBlocks();
Bytes bytesOf(const ContentBlock& block);
std::string expectedFile(const std::string& hostFiles, const ContentBlock& block);

// `size` bytes from a xorshift generator: every seed gives its own, reproducible block.
Bytes pattern(std::size_t size, std::uint32_t seed);
// The 256 byte values in order.
Bytes everyByteValue();

}  // namespace rawout
