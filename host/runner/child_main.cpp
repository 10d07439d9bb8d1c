#include "runner/child_main.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "checks/check_table.h"
#include "checks/plugin_calls.h"
#include "crash/capture.h"
#include "files/file_identity.h"
#include "files/files.h"
#include "files/scratch_folder.h"
#include "files/working_folder.h"
#include "inspect/process_state.h"
#include "loader/fault_trap.h"
#include "memory/extension_buffer.h"
#include "memory/guarded_pages.h"
#include "process/quiet_crash.h"
#include "runner/protocol.h"
#include "runner/references.h"
#include "text/joined.h"
#include "text/printable.h"

namespace rawout {

namespace {

// The verdict goes into a file opened before the plug-in loads and written after the check, so
// that a plug-in that closes descriptors or lowers the limit on them cannot silence it; one that
// removes or replaces the file fails the check for it.
class VerdictFile {
 public:
  explicit VerdictFile(std::string path)
      : path_(std::move(path)), file_(std::fopen(path_.c_str(), "wb")) {
    if (file_ != nullptr) {
      identity_ = identityOf(file_);
    }
  }
  VerdictFile(const VerdictFile&) = delete;
  VerdictFile& operator=(const VerdictFile&) = delete;
  ~VerdictFile() = default;

  [[nodiscard]] bool opened() const { return identity_.has_value(); }

  // False when neither the file opened before nor a new one could take it.
  [[nodiscard]] bool write(Verdict verdict) {
    if (identityOf(path_) == identity_) {
      // The file is ours still, whatever became of the descriptor.
      if (identityOf(file_) == identity_) {
        return put(file_, encoded(verdict));
      }
      std::FILE* again = std::fopen(path_.c_str(), "wb");
      return again != nullptr && put(again, encoded(verdict)) && std::fclose(again) == 0;
    }
    verdict = Verdict::fail("the plug-in removed or replaced exporthost's file " + path_ +
                            (verdict.passed() ? "" : "; the check had found: " + verdict.text));
    (void)removeTree(path_);
    std::FILE* again = std::fopen(path_.c_str(), "wb");
    return again != nullptr && put(again, encoded(verdict)) && std::fclose(again) == 0;
  }

 private:
  static bool put(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  }

  std::string path_;
  std::FILE* file_;
  std::optional<FileIdentity> identity_;
};

bool markLoaded(const std::string& path) {
  std::FILE* marker = std::fopen(path.c_str(), "wb");
  return marker != nullptr && std::fclose(marker) == 0;
}

// The verdict a write past the extension buffer gives `check`, encoded.
std::string overrunVerdict(const Check& check) {
  const std::string overrun = "wrote past " + ExtensionBuffer::described();
  return check.overrun == Overrun::FailsIt
             ? encoded(Verdict::fail(overrun))
             : encoded(Verdict::skip("the plug-in " + overrun + "; see the " +
                                     std::string(kExtension) + " check"));
}

// How the check is asked to judge what the files hold: the rule, the random rounds and the
// reference command, if any; and when shrinking a failing block must stop.
struct Asked {
  ContentRule content;
  RandomRounds random;
  std::string reference;
  std::chrono::steady_clock::time_point shrinkingEnds;
};

// Half the check's time limit from now: what is left answers, whatever a save costs.
std::optional<std::chrono::steady_clock::time_point> shrinkingEndsWithin(const std::string& word) {
  std::int64_t milliseconds = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), milliseconds);
  if (error != std::errc() || end != word.data() + word.size() || milliseconds <= 0) {
    return std::nullopt;
  }
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds) / 2;
}

// Loads the plug-in into `plugin`, marks that it loaded, and runs the check.
Verdict loadAndCheck(const Check& check, const std::string& path, const CheckFolder& folder,
                     const Asked& asked, std::optional<ExportPlugin>& plugin) {
  // Listed before the load: a file that the module's load-time code makes is a stray too.
  std::set<std::string> workingFolderBeforeLoad = folderEntries(".");
  try {
    plugin.emplace(path);
  } catch (const LoadError& error) {
    return notLoaded(error);
  } catch (const std::exception& error) {
    return Verdict::fail(error.what());
  }
  if (!markLoaded(folder.loadedMarker())) {
    return Verdict::ownTrouble("cannot make " + folder.loadedMarker());
  }
  return verdictOf(check, {*plugin, folder.files(), folder.hostFiles(), asked.content, asked.random,
                           referenceFor(asked.reference, folder), asked.shrinkingEnds,
                           std::move(workingFolderBeforeLoad)});
}

int cannotAnswer() {
  (void)std::fprintf(stderr, "%scannot write the check's verdict\n", kCheckProcessTroublePrefix);
  return kCheckProcessTrouble;
}

// Everything before the plug-in loads: faults recorded for exporthost, the working folder,
// orphans adopted. "" or what went wrong, exporthost's own trouble.
std::string setUp(const CheckFolder& folder) {
  if (!captureCrashesInto(folder.crashRecord())) {
    return "cannot make " + folder.crashRecord();
  }
  if (!enterFolder(folder.workingFolder())) {
    return "cannot enter the check's working folder";
  }
  if (!temporaryFilesInto(folder.temporaryFolder())) {
    return "cannot point " + std::string(kTemporaryFolderVariables) + " at " +
           folder.temporaryFolder();
  }
  adoptOrphans();
  // Whatever the runtime starts with a first thread (a sanitizer's own) runs before the count; a
  // thread that cannot be made now is no fault of the plug-in's.
  try {
    std::thread([] {}).join();
  } catch (const std::system_error&) {
  }
  watchForLateCallbacks();
  return {};
}

// Adds a failure seen after the check to its verdict; exporthost's own trouble stays as it is.
void addFailure(Verdict& verdict, const std::string& failure) {
  if (verdict.kind != Verdict::Kind::OwnTrouble) {
    verdict = Verdict::fail(verdict.kind == Verdict::Kind::Fail ? verdict.text + "; " + failure
                                                                : failure);
  }
}

// The check run under a trap for faults on what the check lends the plug-in: a write past the
// buffer puts its verdict straight into the verdict file, what was written before the end mark,
// and ends the process with status 0, as after any verdict; a write into what the check lent
// read-only fails whichever check made it.
Verdict trappedCheck(const Check& check, const std::string& path, const CheckFolder& folder,
                     const Asked& asked, std::optional<ExportPlugin>& plugin) {
  const std::string trapped = overrunVerdict(check);
  const std::size_t textEnd = trapped.size() - kVerdictEndBytes;
  FaultTrap faults(trapped.substr(0, textEnd), trapped.substr(textEnd));
  faults.exitWith(0);
  faults.reportInto(folder.verdictFile());
  const std::string written = encoded(Verdict::fail("the plug-in "));
  const std::size_t writtenEnd = written.size() - kVerdictEndBytes;
  faults.reportWrites(written.substr(0, writtenEnd), written.substr(writtenEnd));
  faults.reportUnderruns(
      encoded(Verdict::fail("wrote before the start of " + ExtensionBuffer::described())));
  return loadAndCheck(check, path, folder, asked, plugin);
}

// The plug-in unloaded, and what the C library still holds inside its former mapping: "" when
// nothing.
std::string unloadedLeavingNothing(std::optional<ExportPlugin>& plugin, const std::string& path) {
  const AddressRanges mapped = plugin ? mappingOf(plugin->path()) : AddressRanges();
  // A fault in the unload, which a host's loader would hide as this one does.
  std::string fault = faultWhileUnloading([&plugin] { plugin.reset(); });
  if (!fault.empty() || mapped.empty()) {
    return fault;
  }
  // A host that unloads a plug-in to load a newer one, or to free it, would keep this one.
  if (!mappingOf(path).empty()) {
    return stillMappedAfterUnload();
  }
  // Kept from reuse, so that a late call into the image (an exit handler, a callback) faults
  // there and is named, rather than run whatever the system maps there next. Adjacent ranges as
  // one: Windows reserves only from an allocation boundary, as the image began.
  AddressRanges spans;
  for (const auto& range : mapped) {
    if (!spans.empty() && spans.back().second == range.first) {
      spans.back().second = range.second;
    } else {
      spans.push_back(range);
    }
  }
  bool kept = true;
  for (const auto& [begin, end] : spans) {
    auto* const image = reinterpret_cast<void*>(begin);  // NOLINT(performance-no-int-to-ptr)
    if (reservePagesAt(image, end - begin)) {
      rememberUnloadedImage(begin, end);
    } else {
      kept = false;
    }
  }
  const std::string late = kept ? lateCallbackInto(mapped) : std::string();
  const std::vector<std::string> held = heldPointersInto(mapped);
  return !late.empty() || held.empty()
             ? late
             : "once it was unloaded, the process still held addresses inside it: " +
                   joined(held, ", ") + ", expected none";
}

}  // namespace

int runCheckProcessMain(const std::vector<std::string>& arguments) {
  const Check* check = arguments.size() == 7 ? findCheck(arguments[0]) : nullptr;
  const std::optional<ContentRule> content =
      check != nullptr ? contentRuleOf(arguments[3]) : std::nullopt;
  const std::optional<RandomRounds> random =
      check != nullptr ? RandomRounds::of(arguments[4]) : std::nullopt;
  const std::optional<std::chrono::steady_clock::time_point> shrinkingEnds =
      check != nullptr ? shrinkingEndsWithin(arguments[6]) : std::nullopt;
  if (!content || !random || !shrinkingEnds) {
    return kCheckProcessTrouble;
  }
  crashQuietly();
  const CheckFolder folder(arguments[2]);
  VerdictFile verdictFile(folder.verdictFile());
  if (!verdictFile.opened()) {
    return cannotAnswer();
  }
  if (const std::string trouble = setUp(folder); !trouble.empty()) {
    return verdictFile.write(Verdict::ownTrouble(trouble)) ? 0 : cannotAnswer();
  }
  const std::size_t threadsBefore = runningThreads();
  std::optional<ExportPlugin> plugin;
  Verdict verdict = trappedCheck(*check, arguments[1], folder,
                                 {*content, *random, arguments[5], *shrinkingEnds}, plugin);
  if (const std::string damage = heapDamageSeen(); !damage.empty()) {
    addFailure(verdict, damage);
  }
  // A save's temporary files are its own to remove.
  if (const std::set<std::string> left = folderEntries(folder.temporaryFolder()); !left.empty()) {
    std::vector<std::string> named;
    named.reserve(left.size());
    for (const std::string& name : left) {
      named.push_back(printable(name));
    }
    addFailure(verdict, "left " + joined(named, ", ") + " in its temporary folder (" +
                            kTemporaryFolderVariables +
                            " points each check at one of its own), expected nothing");
  }
  // A process a save left running is a fault of whichever check it ran in.
  if (const std::string left = endProcessesLeftRunning(); !left.empty()) {
    addFailure(verdict, "left processes running: " + left + ", expected none");
  }
  // A thread left running would run on in the host once the plug-in is unloaded: here it is not
  // unloaded under it, and the process ends at once after the verdict.
  if (const std::size_t threads = runningThreads(); threads > threadsBefore) {
    addFailure(verdict, "left " + std::to_string(threads - threadsBefore) +
                            " thread(s) running after the calls returned, expected none");
    if (!verdictFile.write(verdict)) {
      return cannotAnswer();
    }
    endAtOnce(0);
  }
  // Unloaded before the verdict, so that what the C library still holds of it is seen, and the
  // process ends normally: a plug-in whose unload or exit handlers crash or hang fails the check
  // all the same, since exporthost waits for status 0.
  const std::string dangling = unloadedLeavingNothing(plugin, arguments[1]);
  if (!dangling.empty()) {
    addFailure(verdict, dangling);
  }
  if (!verdictFile.write(verdict)) {
    return cannotAnswer();
  }
  if (!dangling.empty()) {
    // The C library would use them as the process ends: it ends at once instead.
    endAtOnce(0);
  }
  return 0;
}

}  // namespace rawout
