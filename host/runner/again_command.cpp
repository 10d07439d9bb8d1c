#include "runner/again_command.h"

#include "process/this_program.h"
#include "text/shell_word.h"

namespace rawout {

namespace {

// Seconds as the option takes them: "5", "2.5".
std::string secondsOption(std::chrono::milliseconds timeout) {
  const auto count = timeout.count();
  std::string text = std::to_string(count / 1000);
  if (count % 1000 != 0) {
    std::string fraction = std::to_string(1000 + count % 1000).substr(1);
    while (fraction.back() == '0') {
      fraction.pop_back();
    }
    text += "." + fraction;
  }
  return text;
}

}  // namespace

std::string againCommand(const CheckOptions& options, const Check& check, const Verdict& verdict,
                         const std::string& plugin, std::optional<unsigned> round) {
  std::string command = shellWord(thisProgram()) + " check --only " + std::string(check.name);
  if (options.content == ContentRule::Identity) {
    command += " --expect=identity";
  } else if (!options.referenceDir.empty()) {
    command += " --reference-dir=" + shellWord(options.referenceDir);
  } else if (options.content == ContentRule::Reference) {
    command += " --reference=" + shellWord(options.reference);
  }
  if (options.random.rounds > 0) {
    RandomRounds random = options.random;
    if (round) {
      random.first = *round;
      random.rounds = 1;
    }
    command += " " + random.options();
  }
  if (options.timeout != CheckOptions{}.timeout) {
    command += " --timeout " + secondsOption(options.timeout);
  }
  if (options.strict && verdict.kind == Verdict::Kind::Warn) {
    command += " --strict";
  }
  if (options.inProcess) {
    command += " --in-process";
  }
  return command + " --plugin " + shellWord(plugin);
}

}  // namespace rawout
