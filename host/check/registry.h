// What a host may rely on from an export plug-in of any format, as a table of named checks. Each
// check is one function that calls the loaded plug-in in a folder of its own and gives its
// verdict; none depends on another having run before it. What the output holds is the format's
// own business: only the content check looks at it, and only as the user declares it.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "check/blocks.h"
#include "check/protocol.h"
#include "loader/plugin_loader.h"

namespace rawout {

struct CheckContext {
  const ExportPlugin& plugin;
  std::string folder;     // where the plug-in saves: the check's own, empty when it starts
  std::string hostFiles;  // exporthost's own files, apart from the plug-in's
  ContentRule content = ContentRule::Undeclared;
  RandomRounds random{};  // for the content and reproducible checks
};

// What a write past the extension buffer means for a check: the extension check's failure, or a
// reason for any other check not to go on.
enum class Overrun { FailsIt, SkipsIt };

struct Check {
  std::string_view name;
  std::string_view promise;  // one sentence: what a plug-in that passes does
  // Pass, Fail with "what was seen, expected what", or Skip with why.
  Verdict (*run)(const CheckContext& context);
  Overrun overrun = Overrun::SkipsIt;
  // The check saves the content blocks, so a reference command runs on them before it starts.
  bool savesContentBlocks = false;
  // Windows gives no way to stage what the check needs: it is skipped there, and listed so.
  bool windowsCannotRun = false;
  // It saves 16 MiB blocks, and takes longest: started first when checks run side by side.
  bool savesLargeBlocks = false;
};

// Every check, in the order they are reported. "entry-points" is the load itself and comes
// first; "about" shows a box, so it runs only when asked for.
std::span<const Check> allChecks();
// The check called `name`, or null.
const Check* findCheck(std::string_view name);

// The check's verdict on a loaded plug-in, in a check process or in exporthost's own: exporthost's
// trouble becomes OwnTrouble and any other exception a failure, so both give the same verdict.
Verdict verdictOf(const Check& check, const CheckContext& context);
// The verdict for a plug-in that cannot be loaded.
Verdict notLoaded(const LoadError& error);

inline constexpr std::string_view kEntryPoints = "entry-points";
inline constexpr std::string_view kExtension = "extension";
inline constexpr std::string_view kAbout = "about";

// The checks, by the part of the contract they hold the plug-in to.
Verdict entryPoints(const CheckContext& context);
Verdict description(const CheckContext& context);
Verdict descriptionAddress(const CheckContext& context);
Verdict descriptionAfterSaves(const CheckContext& context);
Verdict processState(const CheckContext& context);
Verdict quiet(const CheckContext& context);
Verdict about(const CheckContext& context);
Verdict extension(const CheckContext& context);
Verdict everyByteValueAccepted(const CheckContext& context);
Verdict names(const CheckContext& context);
Verdict emptyBlock(const CheckContext& context);
Verdict content(const CheckContext& context);
Verdict reproducible(const CheckContext& context);
Verdict truncates(const CheckContext& context);
Verdict nullExtOut(const CheckContext& context);
Verdict missingFolder(const CheckContext& context);
Verdict failedWrite(const CheckContext& context);
Verdict largeBlock(const CheckContext& context);
Verdict threads(const CheckContext& context);
Verdict noStrayFiles(const CheckContext& context);

}  // namespace rawout
