#include "check/registry.h"

#include <algorithm>
#include <array>
#include <exception>

namespace rawout {

namespace {

#define RAWOUT_DIGITS(number) #number
#define RAWOUT_TEXT(number) RAWOUT_DIGITS(number)

constexpr std::array kChecks = {
    Check{kEntryPoints, "loads, with SavePrgmFile, GetPluginDescription and About exported",
          entryPoints},
    Check{"description", "names its format in non-empty printable text, terminated within 1 KiB",
          description},
    Check{"description-address",
          "gives the same address for its name on every call and on every thread",
          descriptionAddress},
    Check{kExtension,
          "reports one extension for every block (0, 1, 300 bytes, 16 MiB), starting with \".\" "
          "and ending within the host's 5 bytes",
          extension, Overrun::FailsIt, false, false, true},
    Check{"every-byte-value", "accepts a block of all 256 byte values: gives 1 and a file",
          everyByteValueAccepted},
    Check{"names",
          "saves under the names a host forms (spaces, bytes 0x80-0xFF, mixed case, long, "
          "relative, up to " RAWOUT_TEXT(
              RAWOUT_BASE_NAME_MAX) " bytes) as exactly that file, "
                                    "and under a longer one as that file or none",
          names},
    Check{"empty-block", "accepts an empty block, from an address or from null: gives 1 and a file",
          emptyBlock},
    Check{"content",
          "writes what is declared for each block: the block itself (--expect=identity) or what "
          "the --reference command writes",
          content, Overrun::SkipsIt, true, false, true},
    Check{"reproducible", "writes the same bytes for the same block, whatever saves came before",
          reproducible},
    Check{"truncates", "leaves only the new output in a file that held a longer one", truncates},
    Check{"null-extout", "writes the same file when the host passes no extension buffer",
          nullExtOut},
    Check{"missing-folder",
          "gives 0 for a folder that does not exist, creating nothing and leaving the buffer alone",
          missingFolder},
    Check{"failed-write", "gives 0 and leaves no file when its write fails part-way", failedWrite,
          Overrun::SkipsIt, false, true},
    Check{"large-block", "completes a 16 MiB block: gives 1 and a file", largeBlock,
          Overrun::SkipsIt, false, false, true},
    Check{"threads", "saves from 8 threads at once, each file as the block gives it alone",
          threads},
    Check{"description-after-saves", "keeps its name unchanged by saves", descriptionAfterSaves},
    Check{"process-state",
          "leaves the host's signals, limits, timers, threads, children, descriptors, folder, "
          "umask, environment, locale, scheduling and floating-point settings as it found them",
          processState},
    Check{"quiet", "writes nothing to the host's standard output or error", quiet},
    Check{"no-stray-files", "writes no file but its outputs, in their folder or the working one",
          noStrayFiles},
    Check{kAbout, "shows its about box and gives 1 once it is dismissed (only with --about)",
          about},
};

}  // namespace

std::span<const Check> allChecks() { return kChecks; }

const Check* findCheck(std::string_view name) {
  const auto* found = std::find_if(kChecks.begin(), kChecks.end(),
                                   [name](const Check& check) { return check.name == name; });
  return found == kChecks.end() ? nullptr : found;
}

Verdict verdictOf(const Check& check, const CheckContext& context) {
  try {
    return check.run(context);
  } catch (const CheckTrouble& error) {
    return Verdict::ownTrouble(error.what());
  } catch (const std::exception& error) {
    return Verdict::fail(error.what());
  }
}

Verdict notLoaded(const LoadError& error) {
  return Verdict::notLoaded(std::string(error.what()) + ", expected the three entry points");
}

}  // namespace rawout
