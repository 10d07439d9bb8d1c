// exporthost's command line takes any words: none crashes it, an error is reported for what it
// refuses, and what it accepts it reads back the same when written out plainly again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checks/check_table.h"
#include "cli/arguments.h"
#include "cli/command_line.h"
#include "fuzz_check.h"

namespace {

// exporthost's options, as the command line knows them.
constexpr rawout::LongOption kKnown[] = {{"plugin", true}, {"version", false}, {"only", true},
                                         {"junit", true},  {"timeout", true},  {"about", false}};

rawout::CommandLine parsed(std::vector<std::string> words) {
  std::vector<char*> argv;
  argv.reserve(words.size());
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  return rawout::parseCommandLine(argv, kKnown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Words parted by zero bytes, as the system hands them over.
  std::vector<std::string> words(1);
  for (std::size_t index = 0; index < size; ++index) {
    if (data[index] == 0) {
      words.emplace_back();
    } else {
      words.back() += static_cast<char>(data[index]);
    }
  }
  const rawout::CommandLine line = parsed(words);
  if (line.error.empty()) {
    // What was taken, written as --name=value, then "--" and the operands, reads the same.
    std::vector<std::string> again;
    for (const auto& [name, value] : line.options) {
      bool known = false;
      for (const rawout::LongOption& option : kKnown) {
        if (name == option.name) {
          known = true;
          again.push_back(option.takesValue ? "--" + name + "=" + value : "--" + name);
        }
      }
      FUZZ_REQUIRE(known);
    }
    if (line.help) {
      again.emplace_back("--help");
    }
    again.emplace_back("--");
    again.insert(again.end(), line.operands.begin(), line.operands.end());
    const rawout::CommandLine reread = parsed(again);
    FUZZ_REQUIRE(reread.error.empty() && reread.options == line.options &&
                 reread.operands == line.operands && reread.help == line.help);
  }
  // exporthost's own reading of the whole line.
  std::vector<std::string> program = {"exporthost"};
  program.insert(program.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : program) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const rawout::Arguments arguments =
      rawout::parseArguments(static_cast<int>(program.size()), argv.data());
  if (arguments.error.empty()) {
    // Nothing it took can fail later: every check named is one, the time-out is a time, a
    // declared reference has a command or a folder.
    for (const auto* names : {&arguments.check.only, &arguments.check.skip}) {
      for (const std::string& name : *names) {
        FUZZ_REQUIRE(rawout::findCheck(name) != nullptr);
      }
    }
    FUZZ_REQUIRE(arguments.check.timeout.count() > 0);
    FUZZ_REQUIRE(arguments.check.content != rawout::ContentRule::Reference ||
                 !arguments.check.reference.empty() || !arguments.check.referenceDir.empty());
    // Random rounds are a count and a bound the boundary can hand over; jobs at least one.
    FUZZ_REQUIRE(arguments.check.jobs >= 1 && arguments.check.random.maxSize >= 1 &&
                 arguments.check.random.maxSize <= 0xFFFFFFFFU);
  }
  return 0;
}
