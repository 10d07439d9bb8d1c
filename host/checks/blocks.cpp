#include "checks/blocks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "checks/verdict.h"
#include "files/files.h"
#include "memory/huge_pages.h"
#include "memory/read_only_copy.h"

namespace rawout {

namespace {

struct FixedBlock {
  const char* name;
  std::size_t size;
  std::uint32_t seed;
};

// Every byte value, an empty block, a small and a long one (past 64 KiB, where address-carrying
// formats change their addressing) and the large one.
constexpr std::array kFixedBlocks = {
    FixedBlock{"all", 256, 0},
    FixedBlock{"empty", 0, 1},
    FixedBlock{"pattern", 1000, 41},
    FixedBlock{"long", 70000, 42},
    FixedBlock{"large", kLargeBlockBytes, 4},
};

// splitmix64: any seed, 0 among them, gives a well-mixed stream.
class Draws {
 public:
  explicit Draws(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t mixed = state_ += 0x9E3779B97F4A7C15U;
    mixed = (mixed ^ (mixed >> 30U)) * 0xBF58476D1CE4E5B9U;
    mixed = (mixed ^ (mixed >> 27U)) * 0x94D049BB133111EBU;
    return mixed ^ (mixed >> 31U);
  }
  // From `low` to `high`, both included.
  std::uint64_t between(std::uint64_t low, std::uint64_t high) {
    return low + next() % (high - low + 1);
  }

 private:
  std::uint64_t state_;
};

constexpr std::size_t kBlocksPerRound = 4;

// One size about each boundary: a record length (a hex or S-record line), 64 KiB (16-bit
// addresses), 16 MiB (24-bit addresses), then any size. One the bound excludes is drawn anew.
std::array<std::size_t, kBlocksPerRound> roundSizes(Draws& draws, std::size_t maxSize) {
  constexpr std::array<std::uint64_t, 9> kRecords = {16, 32, 64, 128, 252, 255, 256, 1024, 4096};
  constexpr std::uint64_t k64KiB = 65536;
  constexpr std::uint64_t k16MiB = std::uint64_t{16} << 20;
  std::array<std::uint64_t, kBlocksPerRound> sizes = {
      kRecords[draws.between(0, kRecords.size() - 1)] * draws.between(1, 4) + draws.between(0, 2) -
          1,
      k64KiB * draws.between(1, 3) + draws.between(0, 32) - 16,
      k16MiB + draws.between(0, k64KiB + 16) - 16,
      draws.between(0, maxSize),
  };
  std::array<std::size_t, kBlocksPerRound> bounded{};
  for (std::size_t index = 0; index < sizes.size(); ++index) {
    bounded[index] = static_cast<std::size_t>(sizes[index] <= maxSize ? sizes[index]
                                                                      : draws.between(0, maxSize));
  }
  return bounded;
}

std::optional<std::uint64_t> number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::vector<unsigned> RandomRounds::numbers() const {
  std::vector<unsigned> each;
  for (unsigned round = first; round - first < rounds; ++round) {
    each.push_back(round);
  }
  return each;
}

std::string RandomRounds::options() const {
  return "--seed " + std::to_string(seed) + " --repeat " + std::to_string(rounds) + " --max-size " +
         std::to_string(maxSize) + (first == 1 ? "" : " --round " + std::to_string(first));
}

std::string RandomRounds::word() const {
  return std::to_string(seed) + ":" + std::to_string(rounds) + ":" + std::to_string(maxSize) + ":" +
         std::to_string(first);
}

std::optional<RandomRounds> RandomRounds::of(const std::string& word) {
  std::vector<std::optional<std::uint64_t>> fields;
  for (std::size_t start = 0;;) {
    const std::size_t colon = word.find(':', start);
    fields.push_back(number(std::string_view(word).substr(
        start, colon == std::string::npos ? std::string::npos : colon - start)));
    if (colon == std::string::npos) {
      break;
    }
    start = colon + 1;
  }
  constexpr std::uint64_t kMost = 0xFFFFFFFFU;
  if (fields.size() != 4 || std::find(fields.begin(), fields.end(), std::nullopt) != fields.end() ||
      *fields[1] > kMost || *fields[2] > kMost || *fields[3] == 0 || *fields[3] > kMost ||
      *fields[1] + *fields[3] > kMost) {
    return std::nullopt;
  }
  return RandomRounds{*fields[0], static_cast<unsigned>(*fields[1]),
                      static_cast<std::size_t>(*fields[2]), static_cast<unsigned>(*fields[3])};
}

std::vector<ContentBlock> randomBlocks(const RandomRounds& random, unsigned round) {
  // Each round from the seed and its number alone: a round is made without those before it.
  Draws draws(random.seed ^ (std::uint64_t{round} * 0xD1B54A32D192ED03U));
  std::vector<ContentBlock> blocks;
  blocks.reserve(kBlocksPerRound);
  unsigned index = 0;
  for (const std::size_t size : roundSizes(draws, random.maxSize)) {
    blocks.push_back({"random-" + std::to_string(round) + "-" + std::to_string(++index), size,
                      draws.next() | 1U, "from " + random.options(), false, round});
  }
  return blocks;
}

namespace {
std::string roundFile(const std::string& hostFiles) { return hostFiles + "/round"; }
}  // namespace

void noteRound(const std::string& hostFiles, unsigned round) {
  const std::string text = std::to_string(round);
  if (!writeFile(roundFile(hostFiles), text.data(), text.size())) {
    throw CheckTrouble("cannot write " + roundFile(hostFiles));
  }
}

std::optional<unsigned> roundNoted(const std::string& hostFiles) {
  const auto text = fileContent(roundFile(hostFiles));
  const auto round = text ? number(*text) : std::nullopt;
  if (!round || *round == 0 || *round > 0xFFFFFFFFU) {
    return std::nullopt;
  }
  return static_cast<unsigned>(*round);
}

std::vector<ContentBlock> contentBlocks(const RandomRounds& random) {
  std::vector<ContentBlock> blocks;
  blocks.reserve(kFixedBlocks.size() + kBlocksPerRound * random.rounds);
  for (const FixedBlock& fixed : kFixedBlocks) {
    blocks.push_back({fixed.name, fixed.size, fixed.seed, {}, fixed.size == kLargeBlockBytes});
  }
  for (const unsigned round : random.numbers()) {
    for (ContentBlock& block : randomBlocks(random, round)) {
      blocks.push_back(std::move(block));
    }
  }
  return blocks;
}

BlockBytes bytesOf(const ContentBlock& block) {
  if (block.large) {
    return BlockBytes(largeBlock());
  }
  return BlockBytes(block.seed == 0 ? everyByteValue() : pattern(block.size, block.seed));
}

ByteView largeBlock() {
  static const ReadOnlyCopy made(
      kLargeBlockBytes, [](unsigned char* bytes) { fillPattern(bytes, kLargeBlockBytes, 4); },
      "the block");
  return {static_cast<const unsigned char*>(made.data()), kLargeBlockBytes};
}

std::string expectedFile(const std::string& hostFiles, const ContentBlock& block) {
  return hostFiles + "/" + block.name + ".expected";
}

void fillPattern(unsigned char* bytes, std::size_t size, std::uint64_t seed) {
  // Eight bytes a step: a 16 MiB block is made quickly even in an instrumented build.
  std::uint64_t state = seed | 1U;
  const auto step = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
  };
  std::size_t index = 0;
  for (; size - index >= sizeof state; index += sizeof state) {
    step();
    std::memcpy(bytes + index, &state, sizeof state);
  }
  if (index < size) {
    step();
    std::memcpy(bytes + index, &state, size - index);
  }
}

Bytes pattern(std::size_t size, std::uint64_t seed) {
  Bytes bytes = zeroBytes(size);
  fillPattern(bytes.data(), size, seed);
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
