// What passes between exporthost and a check process: the folder a check works in, and the
// verdict the check process leaves there. Both sides use these types alone, so they cannot
// disagree on a name or a word.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "checks/check.h"

namespace rawout {

// The first argument that makes exporthost a check process; the check's name, the plug-in's full
// path, the check's folder, the content rule (contentRuleWord), the random rounds
// (RandomRounds::word) and the reference command, or "", follow.
inline constexpr char kCheckProcessMode[] = "--check-process";

// The rule as a check process is told it, and back; none for a word that is none.
const char* contentRuleWord(ContentRule rule);
std::optional<ContentRule> contentRuleOf(const std::string& word);

// A check process unloads the plug-in, writes its verdict and ends normally, with status 0: a
// crash or hang after the verdict is the plug-in's too (an exit handler it left behind). When
// it cannot write its verdict it ends with this status, having written a line that starts with
// the prefix to its standard error. Anything else that ends a check process without a verdict is
// the plug-in's doing.
inline constexpr int kCheckProcessTrouble = 3;
inline constexpr char kCheckProcessTroublePrefix[] = "exporthost check process: ";

// One check's folder and what lies in it.
class CheckFolder {
 public:
  explicit CheckFolder(std::string root) : root_(std::move(root)) {}
  [[nodiscard]] const std::string& root() const { return root_; }
  // Where the plug-in saves: the check's base names point here.
  [[nodiscard]] std::string files() const { return root_ + "/files"; }
  // The check process's working folder, to see files written beside no base name.
  [[nodiscard]] std::string workingFolder() const { return root_ + "/cwd"; }
  // The check process's temporary folder (TMPDIR; TMP and TEMP on Windows): what is left there
  // is seen, and no user's temporary folder fills up.
  [[nodiscard]] std::string temporaryFolder() const { return root_ + "/temp"; }
  // The check process's standard output and standard error.
  [[nodiscard]] std::string output() const { return root_ + "/output"; }
  [[nodiscard]] std::string errors() const { return root_ + "/errors"; }
  // The verdict, written by the check process once the check is over.
  [[nodiscard]] std::string verdictFile() const { return root_ + "/verdict"; }
  // Made by the check process once the plug-in has loaded: without it, a process that ended
  // ended while the plug-in loaded.
  [[nodiscard]] std::string loadedMarker() const { return root_ + "/loaded"; }
  // What a check process that faults leaves (crash/crash_record.h).
  [[nodiscard]] std::string crashRecord() const { return root_ + "/crash"; }
  // exporthost's own files during a check, apart from the plug-in's.
  [[nodiscard]] std::string hostFiles() const { return root_ + "/host"; }

 private:
  std::string root_;
};

// A verdict as the verdict file holds it: a word, a line feed, the text (each of its line feeds
// followed by a tab) and an end mark, whose bytes come last.
inline constexpr std::size_t kVerdictEndBytes = 5;
std::string encoded(const Verdict& verdict);
// None for anything a check process did not write whole (a plug-in may have ended it midway).
std::optional<Verdict> decodedVerdict(const std::string& written);

}  // namespace rawout
