// What a host may rely on from an export plug-in, as a table of named checks. Each check is one
// function that calls the loaded plug-in in a folder of its own and says what it saw; none
// depends on another having run before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check/protocol.h"
#include "loader/plugin_loader.h"

namespace rawout {

struct CheckContext {
  const ExportPlugin& plugin;
  std::string folder;     // where the plug-in saves: the check's own, empty when it starts
  std::string hostFiles;  // exporthost's own files, apart from the plug-in's
};

struct Check {
  std::string_view name;
  std::string_view promise;  // one sentence: what a plug-in that passes does
  // Pass, or Fail with "what was seen, expected what".
  Verdict (*run)(const CheckContext& context);
};

// Every check, in the order they are reported. "entry-points" is the load itself and comes
// first; "about" shows a box, so it runs only when asked for.
std::span<const Check> allChecks();
// The check called `name`, or null.
const Check* findCheck(std::string_view name);

inline constexpr std::string_view kEntryPoints = "entry-points";
inline constexpr std::string_view kAbout = "about";

// `size` bytes from a xorshift generator: every seed gives its own, reproducible block.
std::vector<unsigned char> pattern(std::size_t size, std::uint32_t seed);

}  // namespace rawout
