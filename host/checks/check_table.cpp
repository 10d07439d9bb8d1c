#include "checks/check_table.h"

#include <rawout/export_plugin.h>

#include <algorithm>
#include <array>
#include <exception>

#include "checks/bodies.h"

namespace rawout {

namespace {

#define RAWOUT_DIGITS(number) #number
#define RAWOUT_TEXT(number) RAWOUT_DIGITS(number)

constexpr std::array kChecks = {
    Check{.name = kEntryPoints,
          .promise = "loads, with SavePrgmFile, GetPluginDescription and About exported",
          .run = loadsWithTheEntryPoints},
    Check{.name = "module",
          .promise = "is a module a host loads safely: no executable stack, no text relocations; "
                     "flagged, and failed with --strict: a run path into no system folder, DLLs "
                     "Windows lacks, no NX or ASLR, exports beyond the three",
          .run = buildsACleanModule},
    Check{.name = "description",
          .promise = "names its format in non-empty printable text, terminated within 1 KiB",
          .run = namesItsFormat},
    Check{.name = "description-address",
          .promise = "gives the same address for its name on every call and on every thread",
          .run = keepsItsNameAtOneAddress},
    Check{.name = kExtension,
          .promise = "reports one extension for every block (0, 1, 300 bytes, 16 MiB), starting "
                     "with \".\" and ending within the host's " RAWOUT_TEXT(
                         RAWOUT_EXTENSION_BUFFER_SIZE) " bytes",
          .run = reportsOneExtensionThatFits,
          .overrun = Overrun::FailsIt,
          .savesLargeBlocks = true},
    Check{.name = "every-byte-value",
          .promise = "accepts a block of all 256 byte values: gives 1 and a file",
          .run = acceptsEveryByteValue},
    Check{.name = "names",
          .promise = "saves under the names a host forms (spaces, bytes 0x80-0xFF, mixed case, "
                     "long, relative, up to " RAWOUT_TEXT(
                         RAWOUT_BASE_NAME_MAX) " bytes) as exactly that file, and under a longer "
                                               "one as that file or none",
          .run = savesUnderEveryName},
    Check{.name = "empty-block",
          .promise = "accepts an empty block, from an address or from null: gives 1 and a file",
          .run = acceptsAnEmptyBlock},
    Check{.name = "content",
          .promise = "writes what is declared for each block: the block itself (--expect=identity) "
                     "or what the --reference command writes",
          .run = writesWhatIsDeclared,
          .savesContentBlocks = true,
          .savesLargeBlocks = true},
    Check{.name = "reproducible",
          .promise = "writes the same bytes for the same block, whatever saves came before",
          .run = writesTheSameBytesAgain},
    Check{.name = "truncates",
          .promise = "leaves only the new output in a file that held a longer one",
          .run = replacesALongerFile},
    Check{.name = "null-extout",
          .promise = "writes the same file when the host passes no extension buffer",
          .run = savesWithoutAnExtensionBuffer},
    Check{.name = "missing-folder",
          .promise = "gives 0 for a folder that does not exist, creating nothing and leaving the "
                     "buffer alone",
          .run = refusesAMissingFolder},
    Check{.name = "failed-write",
          .promise = "gives 0 and leaves no file when its write fails part-way",
          .run = reportsAFailedWrite,
          .windowsCannotRun = true},
    Check{.name = "large-block",
          .promise = "completes a 16 MiB block: gives 1 and a file",
          .run = completesALargeBlock,
          .savesLargeBlocks = true},
    Check{.name = "threads",
          .promise = "saves from 8 threads at once, each file as the block gives it alone",
          .run = savesFromManyThreads},
    Check{.name = "description-after-saves",
          .promise = "keeps its name unchanged by saves",
          .run = keepsItsNameThroughSaves},
    Check{.name = "process-state",
          .promise = "leaves the host's signals, limits, timers, threads, children, descriptors, "
                     "folder, umask, environment, locale, scheduling and floating-point settings "
                     "as it found them",
          .run = leavesTheProcessAsFound},
    Check{.name = "quiet",
          .promise = "writes nothing to the host's standard output or error",
          .run = writesNothingToTheStreams},
    Check{.name = "no-stray-files",
          .promise = "writes no file but its outputs, in their folder or the working one",
          .run = writesNoStrayFiles},
    Check{.name = kAbout,
          .promise = "shows its about box and gives 1 once it is dismissed (only with --about)",
          .run = showsItsAboutBox},
};

}  // namespace

std::span<const Check> allChecks() { return kChecks; }

const Check* findCheck(std::string_view name) {
  const auto* found = std::find_if(kChecks.begin(), kChecks.end(),
                                   [name](const Check& check) { return check.name == name; });
  return found == kChecks.end() ? nullptr : found;
}

Verdict verdictOf(const Check& check, const CheckContext& context) {
  Verdict verdict;
  try {
    verdict = check.run(context);
  } catch (const CheckTrouble& error) {
    return Verdict::ownTrouble(error.what());
  } catch (const std::exception& error) {
    verdict = Verdict::fail(error.what());
  }
  // A call that broke the calling convention fails the check that made it, whatever it found.
  if (const std::string broken = context.plugin.brokenConvention(); !broken.empty()) {
    return Verdict::fail(broken + (verdict.passed() || verdict.text.empty()
                                       ? ""
                                       : "; the check had found: " + verdict.text));
  }
  return verdict;
}

Verdict notLoaded(const LoadError& error) { return Verdict::notLoaded(error.what()); }

}  // namespace rawout
