// What a check finds: its verdict, and exporthost's own trouble, which is never the plug-in's.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace rawout {

// Thrown inside a check when exporthost cannot do its own part (a file it cannot make): the
// verdict is OwnTrouble, never the plug-in's failure.
class CheckTrouble : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Verdict {
  enum class Kind {
    Pass,
    Warn,  // passes, with something an author should mend said; --strict fails it
    Fail,
    Skip,
    Unsupported,  // skipped where the platform gives no way to run it; --strict lets it pass
    NotLoaded,    // the plug-in could not be loaded at all: the checks after this one are skipped
    PluginEnded,  // the check process ended, hung or crashed before it could give a verdict
    OwnTrouble,   // exporthost could not do its part; nothing is said of the plug-in
  };

  // What an author acts on beside the text, a line each: the calls that led to a fault
  // ("calls"), the command that makes the failure again ("again"), the smallest block that fails
  // ("smallest").
  struct Detail {
    std::string name;
    std::string text;
  };

  Kind kind = Kind::Pass;
  std::string text;  // what was seen and what was expected; empty for a pass
  std::vector<Detail> details{};

  static Verdict pass() { return {}; }
  // A pass when `failure` is empty: checks that compare many things say what differs, if anything.
  static Verdict failIf(std::string failure) {
    return failure.empty() ? pass() : Verdict{Kind::Fail, std::move(failure)};
  }
  static Verdict fail(std::string failure) { return {Kind::Fail, std::move(failure)}; }
  static Verdict skip(std::string reason) { return {Kind::Skip, std::move(reason)}; }
  static Verdict warn(std::string warning) { return {Kind::Warn, std::move(warning)}; }
  static Verdict unsupported(std::string reason) { return {Kind::Unsupported, std::move(reason)}; }
  static Verdict notLoaded(std::string failure) { return {Kind::NotLoaded, std::move(failure)}; }
  static Verdict pluginEnded(std::string how) { return {Kind::PluginEnded, std::move(how)}; }
  static Verdict ownTrouble(std::string cause) { return {Kind::OwnTrouble, std::move(cause)}; }

  [[nodiscard]] bool passed() const { return kind == Kind::Pass || kind == Kind::Warn; }
  // Skipped, for whatever reason.
  [[nodiscard]] bool skipped() const { return kind == Kind::Skip || kind == Kind::Unsupported; }
};

}  // namespace rawout
