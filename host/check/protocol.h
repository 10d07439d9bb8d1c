// What passes between exporthost and a check process: the folder a check works in, and the
// verdict the check process leaves there. Both sides use these types alone, so they cannot
// disagree on a name or a word.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace rawout {

// The first argument that makes exporthost a check process; the check's name, the plug-in's full
// path, the check's folder, the content rule (contentRuleWord) and the random rounds
// (RandomRounds::word) follow.
inline constexpr char kCheckProcessMode[] = "--check-process";

// How the content check knows what a file must hold.
enum class ContentRule {
  Undeclared,  // it cannot: the content check is skipped
  Identity,    // the block itself, byte for byte
  Reference,   // what a command wrote from the block: NAME.expected in the host's files
};
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
  // The check process's standard output and standard error.
  [[nodiscard]] std::string output() const { return root_ + "/output"; }
  [[nodiscard]] std::string errors() const { return root_ + "/errors"; }
  // The verdict, written by the check process once the check is over.
  [[nodiscard]] std::string verdictFile() const { return root_ + "/verdict"; }
  // Made by the check process once the plug-in has loaded: without it, a process that ended
  // ended while the plug-in loaded.
  [[nodiscard]] std::string loadedMarker() const { return root_ + "/loaded"; }
  // exporthost's own files during a check, apart from the plug-in's.
  [[nodiscard]] std::string hostFiles() const { return root_ + "/host"; }

 private:
  std::string root_;
};

// Thrown inside a check when exporthost cannot do its own part (a file it cannot make): the
// verdict is OwnTrouble, never the plug-in's failure.
class CheckTrouble : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Verdict {
  enum class Kind {
    Pass,
    Fail,
    Skip,
    NotLoaded,    // the plug-in could not be loaded at all: the checks after this one are skipped
    PluginEnded,  // the check process ended, hung or crashed before it could give a verdict
    OwnTrouble,   // exporthost could not do its part; nothing is said of the plug-in
  };

  Kind kind = Kind::Pass;
  std::string text;  // what was seen and what was expected; empty for a pass

  static Verdict pass() { return {}; }
  // A pass when `failure` is empty: checks that compare many things say what differs, if anything.
  static Verdict failIf(std::string failure) {
    return failure.empty() ? pass() : Verdict{Kind::Fail, std::move(failure)};
  }
  static Verdict fail(std::string failure) { return {Kind::Fail, std::move(failure)}; }
  static Verdict skip(std::string reason) { return {Kind::Skip, std::move(reason)}; }
  static Verdict notLoaded(std::string failure) { return {Kind::NotLoaded, std::move(failure)}; }
  static Verdict pluginEnded(std::string how) { return {Kind::PluginEnded, std::move(how)}; }
  static Verdict ownTrouble(std::string cause) { return {Kind::OwnTrouble, std::move(cause)}; }

  [[nodiscard]] bool passed() const { return kind == Kind::Pass; }

  // A word, a line feed, the text (each of its line feeds followed by a tab) and an end mark, as
  // the verdict file holds it; the end mark's bytes come last.
  static constexpr std::size_t kEndBytes = 5;
  [[nodiscard]] std::string encoded() const;
  // None for anything a check process did not write whole (a plug-in may have ended it midway).
  static std::optional<Verdict> decode(const std::string& encoded);
};

}  // namespace rawout
