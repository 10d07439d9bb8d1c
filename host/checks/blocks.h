// The blocks the checks save: every byte value, reproducible patterns of any size, and rounds of
// random blocks drawn from a seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "memory/huge_pages.h"

namespace rawout {

// Rounds of random blocks for the content and reproducible checks, beside the fixed ones: each
// round's sizes fall about the boundaries formats care about (record lengths, 64 KiB, 16 MiB and
// past it), none above `maxSize`. The seed alone makes them, so a run is made again with it.
struct RandomRounds {
  static constexpr std::size_t kDefaultMaxSize = std::size_t{32} << 20;
  static constexpr std::uint64_t kDefaultSeed = 1;
  std::uint64_t seed = kDefaultSeed;
  unsigned rounds = 0;  // none: the fixed blocks alone
  std::size_t maxSize = kDefaultMaxSize;
  unsigned first = 1;  // the first round's number: a round is made from the seed and it alone

  // Their numbers, first to last.
  [[nodiscard]] std::vector<unsigned> numbers() const;
  // "--seed 5 --repeat 2 --max-size 33554432", and " --round 3" for rounds that do not start at
  // the first: what runs the same blocks again.
  [[nodiscard]] std::string options() const;
  // As a check process is told it, and back; none for a word that is none.
  [[nodiscard]] std::string word() const;
  static std::optional<RandomRounds> of(const std::string& word);
};

// The large block (16 MiB) that the extension, content and large-block checks save: made once a
// process, in place, in huge pages the plug-in may only read, so that a save hands it over as it
// is, with no copy.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{16} << 20;
ByteView largeBlock();

// The blocks the content check saves. With a reference command, exporthost runs it on each
// block first and leaves what it wrote as hostFiles/NAME.expected.
struct ContentBlock {
  std::string name;
  std::size_t size;
  std::uint64_t seed;  // for pattern(); 0 for every byte value in turn
  std::string origin;  // for a random block, where it comes from and how to make it again
  bool large = false;  // the large block itself
  unsigned round = 0;  // for a random block, its round's number
};

// A block's bytes: its own, or the large block's, which every check shares.
class BlockBytes {
 public:
  explicit BlockBytes(Bytes own) : own_(std::move(own)), view_(own_) {}
  explicit BlockBytes(ByteView shared) : view_(shared) {}
  BlockBytes(const BlockBytes&) = delete;
  BlockBytes& operator=(const BlockBytes&) = delete;
  ~BlockBytes() = default;
  [[nodiscard]] ByteView view() const { return view_; }
  [[nodiscard]] const unsigned char* data() const { return view_.data(); }
  [[nodiscard]] std::size_t size() const { return view_.size(); }

 private:
  Bytes own_;
  ByteView view_;
};
// The fixed blocks, then each round's random ones.
std::vector<ContentBlock> contentBlocks(const RandomRounds& random);
// Round `round` (from 1) alone.
std::vector<ContentBlock> randomBlocks(const RandomRounds& random, unsigned round);
// A check says, in its host files, which round it saves, so that a process that ends in one
// is run again with that round alone; none before the first.
void noteRound(const std::string& hostFiles, unsigned round);
std::optional<unsigned> roundNoted(const std::string& hostFiles);
BlockBytes bytesOf(const ContentBlock& block);
std::string expectedFile(const std::string& hostFiles, const ContentBlock& block);

// `size` bytes from a xorshift generator: every seed gives its own, reproducible block.
Bytes pattern(std::size_t size, std::uint64_t seed);
void fillPattern(unsigned char* bytes, std::size_t size, std::uint64_t seed);
// The 256 byte values in order.
Bytes everyByteValue();

}  // namespace rawout
