#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <span>

#include "cli/check_arguments.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

void declareContent(Arguments& arguments, ContentRule rule) {
  if (arguments.check.content != ContentRule::Undeclared) {
    throw UsageError("give one of --expect, --reference and --reference-dir, once");
  }
  arguments.check.content = rule;
}

// Every option exporthost takes: its word, whether a value follows, and what it sets. Options
// after the first two are the check command's alone. Throws UsageError for a value it refuses.
struct Option {
  LongOption word;
  void (*take)(Arguments& arguments, const std::string& value);
};

constexpr std::array kOptions = {
    Option{
        {"plugin", true},
        [](Arguments& arguments, const std::string& value) { arguments.plugins.push_back(value); }},
    Option{{"version", false},
           [](Arguments& arguments, const std::string& /*value*/) { arguments.version = true; }},
    Option{
        {"about", false},
        [](Arguments& arguments, const std::string& /*value*/) { arguments.check.about = true; }},
    Option{{"list", false},
           [](Arguments& arguments, const std::string& /*value*/) { arguments.list = true; }},
    Option{{"only", true},
           [](Arguments& arguments, const std::string& value) {
             addCheckNames(arguments.check.only, value);
           }},
    Option{{"skip", true},
           [](Arguments& arguments, const std::string& value) {
             addCheckNames(arguments.check.skip, value);
           }},
    Option{{"timeout", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.timeout = parseTimeout(value);
           }},
    Option{{"format", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.format = parseReportFormat(value);
           }},
    Option{{"junit", true},
           [](Arguments& arguments, const std::string& value) {
             if (value.empty()) {
               throw UsageError("--junit needs a file name");
             }
             arguments.check.junit = value;
           }},
    Option{{"in-process", false},
           [](Arguments& arguments, const std::string& /*value*/) {
             arguments.check.inProcess = true;
           }},
    Option{{"keep", true},
           [](Arguments& arguments, const std::string& value) {
             if (value.empty()) {
               throw UsageError("--keep needs a folder");
             }
             arguments.check.keep = value;
           }},
    Option{
        {"strict", false},
        [](Arguments& arguments, const std::string& /*value*/) { arguments.check.strict = true; }},
    Option{{"expect", true},
           [](Arguments& arguments, const std::string& value) {
             if (value != "identity") {
               throw UsageError("invalid --expect " + quotedValue(value) +
                                ": give identity, or --reference=COMMAND for a format of its own");
             }
             declareContent(arguments, ContentRule::Identity);
           }},
    Option{{"reference", true},
           [](Arguments& arguments, const std::string& value) {
             if (value.empty()) {
               throw UsageError("--reference needs a command");
             }
             declareContent(arguments, ContentRule::Reference);
             arguments.check.reference = value;
           }},
    Option{{"reference-dir", true},
           [](Arguments& arguments, const std::string& value) {
             if (value.empty()) {
               throw UsageError("--reference-dir needs a folder");
             }
             declareContent(arguments, ContentRule::Reference);
             arguments.check.referenceDir = value;
           }},
    Option{{"write-blocks", true},
           [](Arguments& arguments, const std::string& value) {
             if (value.empty()) {
               throw UsageError("--write-blocks needs a folder");
             }
             arguments.writeBlocks = value;
           }},
    Option{{"seed", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.random.seed = parseSeed(value);
             arguments.seedOrRepeat = true;
           }},
    Option{{"repeat", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.random.rounds = parseRepeat(value);
             arguments.seedOrRepeat = true;
           }},
    Option{{"round", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.random.first = parseRound(value);
             arguments.seedOrRepeat = true;
           }},
    Option{{"jobs", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.jobs = parseJobs(value);
           }},
    Option{{"max-size", true},
           [](Arguments& arguments, const std::string& value) {
             arguments.check.random.maxSize = parseMaxSize(value);
             arguments.maxSize = true;
           }},
};
// --plugin and --version serve every command.
constexpr std::size_t kCommonOptions = 2;

constexpr auto kWords = [] {
  std::array<LongOption, kOptions.size()> words{};
  for (std::size_t index = 0; index < kOptions.size(); ++index) {
    words[index] = kOptions[index].word;
  }
  return words;
}();

}  // namespace

Arguments parseArguments(int argc, char** argv) {
  CommandLine line = parseCommandLine(
      std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1), kWords);
  Arguments arguments;
  arguments.check.jobs = defaultJobs();
  arguments.operands = std::move(line.operands);
  arguments.help = line.help;
  arguments.error = std::move(line.error);
  for (const auto& given : line.options) {
    const std::string& name = given.first;
    const auto* option =
        std::find_if(kOptions.begin(), kOptions.end(),
                     [&name](const Option& each) { return name == each.word.name; });
    if (option - kOptions.begin() >= static_cast<std::ptrdiff_t>(kCommonOptions) &&
        arguments.checkOnlyOption.empty()) {
      arguments.checkOnlyOption = name;
    }
    try {
      option->take(arguments, given.second);
    } catch (const UsageError& error) {
      if (arguments.error.empty()) {
        arguments.error = error.what();
      }
    }
  }
  if (arguments.seedOrRepeat && arguments.check.random.rounds == 0) {
    arguments.check.random.rounds = 1;
  }
  if (arguments.maxSize && !arguments.seedOrRepeat && arguments.error.empty()) {
    arguments.error = "--max-size bounds the random blocks: give --seed or --repeat with it";
  }
  return arguments;
}

}  // namespace rawout
