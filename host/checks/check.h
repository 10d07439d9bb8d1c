// What one check is: a named promise a host relies on from an export plug-in of any format, and
// the function that holds a loaded plug-in to it, in a folder of its own. None depends on another
// having run before it. What the output holds is the format's own business: only the content
// check looks at it, and only as the user declares it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "checks/blocks.h"
#include "checks/verdict.h"
#include "loader/plugin_loader.h"

namespace rawout {

// How the content check knows what a file must hold.
enum class ContentRule {
  Undeclared,  // it cannot: the content check is skipped
  Identity,    // the block itself, byte for byte
  Reference,   // what a command wrote from the block: NAME.expected in the host's files
};

struct CheckContext {
  const ExportPlugin& plugin;
  std::string folder;     // where the plug-in saves: the check's own, empty when it starts
  std::string hostFiles;  // exporthost's own files, apart from the plug-in's
  ContentRule content = ContentRule::Undeclared;
  RandomRounds random{};  // for the content and reproducible checks
  // For ContentRule::Reference: the file a block must make, as the reference command writes it
  // for a block saved as `name`; none when it cannot be run. Unset where only the files it wrote
  // are at hand (--reference-dir): no other block's can be had.
  std::function<std::optional<Bytes>(ByteView block, const std::string& name)> expectedFor{};
  // A failing block is shrunk until then at the latest, so that the check answers in its time.
  std::chrono::steady_clock::time_point shrinkingEnds =
      std::chrono::steady_clock::time_point::max();
  // What the working folder held before the plug-in loaded, so that a file its load made is seen;
  // none where the plug-in loaded before the check (in exporthost's own process).
  std::optional<std::set<std::string>> workingFolderBeforeLoad{};
};

// What a write past the extension buffer means for a check: the extension check's failure, or a
// reason for any other check not to go on.
enum class Overrun { FailsIt, SkipsIt };

struct Check {
  std::string_view name;
  std::string_view promise;  // one sentence: what a plug-in that passes does
  // Pass, Fail with "what was seen, expected what", or Skip with why.
  Verdict (*run)(const CheckContext& context) = nullptr;
  Overrun overrun = Overrun::SkipsIt;
  // The check saves the content blocks, so a reference command runs on them before it starts.
  bool savesContentBlocks = false;
  // Windows gives no way to stage what the check needs: it is skipped there, and listed so.
  bool windowsCannotRun = false;
  // It saves 16 MiB blocks, and takes longest: started first when checks run side by side.
  bool savesLargeBlocks = false;
};

// The checks named where they are chosen: the load itself, which comes first and runs even when
// the plug-in cannot be loaded; the extension check, which a write past the buffer fails; and the
// about box, which runs only when asked for.
inline constexpr std::string_view kEntryPoints = "entry-points";
inline constexpr std::string_view kExtension = "extension";
inline constexpr std::string_view kAbout = "about";

}  // namespace rawout
