#include "cli/help_text.h"

#include <algorithm>

namespace rawout {

namespace {

// "Usage: " before the first line, "  or:  " before the others.
std::string usageOf(std::string_view lines, bool first) {
  std::string usage;
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start) + 1;
    usage += first ? "Usage: " : "  or:  ";
    usage += lines.substr(start, end - start);
    first = false;
    start = end;
  }
  return usage;
}

}  // namespace

std::string fullHelp() {
  std::string help;
  for (const CommandHelp& command : kCommandHelp) {
    help += usageOf(command.usage, help.empty());
  }
  help += std::string(kIntroHelp) + "\nCommands:\n";
  for (const CommandHelp& command : kCommandHelp) {
    help += command.text;
  }
  help += "\nOptions (those marked check are the check options):\n";
  help += std::string(kPluginOptionHelp) + std::string(kCheckOptionsHelp) +
          std::string(kHelpOptionHelp) + std::string(kVersionOptionHelp) + "\n" +
          std::string(kExitStatusHelp);
  return help;
}

std::optional<std::string> commandHelp(std::string_view name) {
  const auto* command = std::find_if(kCommandHelp.begin(), kCommandHelp.end(),
                                     [name](const CommandHelp& each) { return each.name == name; });
  if (command == kCommandHelp.end()) {
    return std::nullopt;
  }
  using Takes = CommandHelp::Takes;
  return usageOf(command->usage, true) + std::string(kIntroHelp) + "\n" +
         std::string(command->text) + "\nOptions:\n" +
         std::string(command->takes != Takes::Nothing ? kPluginOptionHelp : "") +
         std::string(command->takes == Takes::CheckOptions ? kCheckOptionsHelp : "") +
         std::string(kHelpOptionHelp) + "\n" + std::string(kExitStatusHelp);
}

}  // namespace rawout
