#include "cli/arguments.h"

#include <span>

#include "cli/check_arguments.h"
#include "cli/command_line.h"
#include "cli/usage_error.h"
#include "support/quoted_name.h"

namespace rawout {

namespace {

void declareContent(Arguments& arguments, ContentRule rule) {
  if (arguments.check.content != ContentRule::Undeclared) {
    throw UsageError("give one of --expect and --reference, once");
  }
  arguments.check.content = rule;
}

}  // namespace

Arguments parseArguments(int argc, char** argv) {
  constexpr LongOption kOptions[] = {
      {"plugin", true}, {"version", false},    {"about", false},  {"list", false},
      {"only", true},   {"skip", true},        {"timeout", true}, {"format", true},
      {"junit", true},  {"in-process", false}, {"expect", true},  {"reference", true}};
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
      } else if (name == "expect") {
        if (value != "identity") {
          throw UsageError("invalid --expect " + quotedValue(value) +
                           ": give identity, or --reference=COMMAND for a format of its own");
        }
        declareContent(arguments, ContentRule::Identity);
      } else if (name == "reference") {
        if (value.empty()) {
          throw UsageError("--reference needs a command");
        }
        declareContent(arguments, ContentRule::Reference);
        arguments.check.reference = value;
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
