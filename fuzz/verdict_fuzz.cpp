// The verdict file is written by a check process the plug-in runs in, so it may be cut short or
// forged: decoding takes any bytes, and what it takes encodes back to itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "runner/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (const auto verdict = rawout::decodedVerdict(bytes)) {
    const auto again = rawout::decodedVerdict(rawout::encoded(*verdict));
    FUZZ_REQUIRE(again && again->kind == verdict->kind && again->text == verdict->text);
  }
  // Every verdict a check process writes decodes as it was, whatever its text holds.
  if (size > 0) {
    using Kind = rawout::Verdict::Kind;
    constexpr Kind kWritten[] = {Kind::Pass,        Kind::Warn,      Kind::Fail,      Kind::Skip,
                                 Kind::Unsupported, Kind::NotLoaded, Kind::OwnTrouble};
    const rawout::Verdict written{kWritten[data[0] % std::size(kWritten)], bytes.substr(1)};
    const auto decoded = rawout::decodedVerdict(rawout::encoded(written));
    FUZZ_REQUIRE(decoded && decoded->kind == written.kind && decoded->text == written.text);
    // Cut short anywhere, it is no verdict.
    const std::string whole = rawout::encoded(written);
    FUZZ_REQUIRE(!rawout::decodedVerdict(whole.substr(0, data[0] % whole.size())));
  }
  return 0;
}
