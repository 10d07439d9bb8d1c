#include "cli/command_line.h"

#include "cli/help_word.h"
#include "text/closest_name.h"

#include <string>
#include <string_view>

namespace rawout {

namespace {

// The one option called by exactly `name`, or else the only one `name` abbreviates.
struct Match {
  const LongOption* option = nullptr;
  std::vector<const LongOption*> candidates;  // when `name` abbreviates more than one
};

Match find(std::string_view name, std::span<const LongOption> known) {
  Match match;
  for (const LongOption& option : known) {
    const std::string_view full = option.name;
    if (full == name) {
      return {&option, {}};
    }
    if (full.starts_with(name)) {
      match.candidates.push_back(&option);
    }
  }
  if (match.candidates.size() == 1) {
    match.option = match.candidates.front();
    match.candidates.clear();
  }
  return match;
}

// GNU's words for a word that names no option, or more than one.
std::string unmatched(const Match& match, std::string_view word, const std::string& typed,
                      std::span<const LongOption> options) {
  if (match.candidates.empty()) {
    std::vector<std::string_view> known;
    for (const LongOption& option : options) {
      known.emplace_back(option.name);
    }
    return "unrecognized option '" + std::string(word) + "'" +
           didYouMean(typed.substr(2), known, "--");
  }
  std::string message = "option '" + typed + "' is ambiguous; possibilities:";
  for (const LongOption* candidate : match.candidates) {
    message += std::string(" '--") + candidate->name + "'";
  }
  return message;
}

}  // namespace

CommandLine parseCommandLine(std::span<char* const> arguments, std::span<const LongOption> known) {
  CommandLine line;
  const auto fail = [&line](std::string message) {
    if (line.error.empty()) {
      line.error = std::move(message);
    }
  };
  std::vector<LongOption> options(known.begin(), known.end());
  options.push_back({"help", false});
  bool optionsEnded = false;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string_view word = arguments[index];
    if (!optionsEnded && (word == "-h" || isPlatformHelpWord(word))) {
      line.help = true;
      continue;
    }
    if (optionsEnded || word == "-" || !word.starts_with('-')) {
      line.operands.emplace_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (!word.starts_with("--")) {
      fail("invalid option -- '" + std::string(word.substr(1, 1)) + "'");
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string_view name =
        word.substr(2, equals == std::string_view::npos ? equals : equals - 2);
    const std::string typed = "--" + std::string(name);
    const Match match = find(name, options);
    if (match.option == nullptr) {
      fail(unmatched(match, word, typed, options));
      continue;
    }
    std::string value;
    if (equals != std::string_view::npos) {
      if (!match.option->takesValue) {
        fail("option '--" + std::string(match.option->name) + "' doesn't allow an argument");
        continue;
      }
      value = word.substr(equals + 1);
    } else if (match.option->takesValue) {
      if (index + 1 == arguments.size()) {
        fail("option '--" + std::string(match.option->name) + "' requires an argument");
        continue;
      }
      value = arguments[++index];
    }
    if (std::string_view(match.option->name) == "help") {
      line.help = true;
    } else {
      line.options.emplace_back(match.option->name, std::move(value));
    }
  }
  return line;
}

}  // namespace rawout
