#include "cli/arguments.h"

#include <span>

#include "cli/check_options.h"
#include "cli/command_line.h"
#include "cli/usage_error.h"

namespace rawout {

Arguments parseArguments(int argc, char** argv) {
  constexpr LongOption kOptions[] = {{"plugin", true},     {"version", false}, {"about", false},
                                     {"list", false},      {"only", true},     {"skip", true},
                                     {"timeout", true},    {"format", true},   {"junit", true},
                                     {"in-process", false}};
  CommandLine line = parseCommandLine(
      std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1), kOptions);
  Arguments arguments;
  arguments.operands = std::move(line.operands);
  arguments.help = line.help;
  arguments.error = std::move(line.error);
  for (auto& [name, value] : line.options) {
    if (name == "plugin") {
      arguments.plugins.push_back(std::move(value));
      continue;
    }
    if (name == "version") {
      arguments.version = true;
      continue;
    }
    if (arguments.checkOnlyOption.empty()) {
      arguments.checkOnlyOption = name;
    }
    try {
      if (name == "about") {
        arguments.check.about = true;
      } else if (name == "list") {
        arguments.list = true;
      } else if (name == "only") {
        addCheckNames(arguments.check.only, value);
      } else if (name == "skip") {
        addCheckNames(arguments.check.skip, value);
      } else if (name == "timeout") {
        arguments.check.timeout = parseTimeout(value);
      } else if (name == "format") {
        arguments.check.format = parseReportFormat(value);
      } else if (name == "junit") {
        arguments.check.junit = value;
      } else if (name == "in-process") {
        arguments.check.inProcess = true;
      } else {
        // kOptions and this chain must name the same options.
        throw UsageError("option '--" + name + "' is not handled");
      }
    } catch (const UsageError& error) {
      if (arguments.error.empty()) {
        arguments.error = error.what();
      }
    }
  }
  return arguments;
}

}  // namespace rawout
