// Checks an export plug-in against what a host may rely on, the way the host loads and calls it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rawout {

struct CheckResult {
  std::string name;     // the check, then the plug-in's file name in brackets
  std::string failure;  // "what was seen, what was expected"; empty when it passed
};

// `size` bytes from a xorshift generator: every seed gives its own, reproducible block.
std::vector<unsigned char> pattern(std::size_t size, std::uint32_t seed);

// Runs every check on the plug-in at `path` inside private temporary folders, removed afterwards.
// About is called only when `about` is set. A plug-in that cannot be loaded fails the first
// check and is not called.
std::vector<CheckResult> checkPlugin(const std::string& path, bool about);

}  // namespace rawout
