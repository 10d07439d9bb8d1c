// exporthost: loads export plug-ins as the Velmont host does and runs them from a shell.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/check_listing.h"
#include "cli/exit_status.h"
#include "cli/help_text.h"
#include "cli/terminal_width.h"
#include "export/export_command.h"
#include "export/guarded_save.h"
#include "export/input_block.h"
#include "files/file_identity.h"
#include "loader/plugin_loader.h"
#include "process/interruptible.h"
#include "process/this_program.h"
#include "report/report.h"
#include "runner/check_run.h"
#include "runner/child_main.h"
#include "runner/parent_check.h"
#include "runner/protocol.h"
#include "runner/references.h"
#include "text/closest_name.h"
#include "text/printable.h"
#include "text/quoted_name.h"

namespace rawout {
namespace {

void printError(const std::string& message) {
  (void)std::fprintf(stderr, "exporthost: %s\n", message.c_str());
}

std::string onePlugin(const Arguments& arguments) {
  if (arguments.plugins.size() > 1) {
    throw UsageError("only one --plugin is taken by this command");
  }
  return arguments.plugins.empty() ? defaultPluginPath() : arguments.plugins.front();
}

void expectOperands(const Arguments& arguments, std::size_t least, std::size_t most) {
  const std::size_t count = arguments.operands.size() - 1;
  if (count < least) {
    throw UsageError("missing operand");
  }
  if (count > most) {
    const std::string& extra = arguments.operands[most + 1];
    throw UsageError("extra operand " + quotedValue(extra) +
                     (arguments.operands.front() == "check"
                          ? "; name a plug-in to check with --plugin " + quotedValue(extra)
                          : std::string()));
  }
}

int runExport(const Arguments& arguments) {
  expectOperands(arguments, 1, 2);
  const std::optional<std::string> baseName =
      arguments.operands.size() == 3 ? std::optional(arguments.operands[2]) : std::nullopt;
  Exported exported;
  try {
    exported = exportProgram(onePlugin(arguments), arguments.operands[1], baseName);
  } catch (const BaseNameError& error) {
    throw UsageError(error.what());
  } catch (const Interrupted&) {
    // The staging and scratch folders are gone by now, and so is the save's process.
    Interruptible::endAsAsked();
  }
  // A format that transforms the bytes makes a file of another size: that is said too.
  const std::string size = exported.fileSize && *exported.fileSize != exported.bytes
                               ? ", a file of " + std::to_string(*exported.fileSize) +
                                     (*exported.fileSize == 1 ? " byte" : " bytes")
                               : "";
  (void)std::printf("%s: %u %s written as %s%s\n", quotedName(exported.output).c_str(),
                    static_cast<unsigned>(exported.bytes), exported.bytes == 1 ? "byte" : "bytes",
                    exported.format.c_str(), size.c_str());
  return kExitSuccess;
}

UsageError unknownCommand(const std::string& name) {
  std::vector<std::string_view> commands;
  commands.reserve(kCommandHelp.size());
  for (const CommandHelp& command : kCommandHelp) {
    commands.push_back(command.name);
  }
  return UsageError{"unknown command " + quotedValue(name) + didYouMean(name, commands)};
}

int printHelp(const Arguments& arguments) {
  expectOperands(arguments, 0, 1);
  if (arguments.operands.size() == 1) {
    (void)std::fputs(fullHelp().c_str(), stdout);
    return kExitSuccess;
  }
  const auto own = commandHelp(arguments.operands[1]);
  if (!own) {
    throw unknownCommand(arguments.operands[1]);
  }
  (void)std::fputs(own->c_str(), stdout);
  return kExitSuccess;
}

int listFormats(const Arguments& arguments) {
  expectOperands(arguments, 0, 0);
  std::vector<std::string> paths = arguments.plugins;
  if (paths.empty()) {
    paths.push_back(defaultPluginPath());
  }
  int status = kExitSuccess;
  for (const std::string& path : paths) {
    try {
      const ExportPlugin plugin(path);
      (void)std::printf("%s\n", printable(displayNameOf(plugin)).c_str());
    } catch (const LoadError& error) {
      printError(error.what());
      status = kExitFailure;
    }
  }
  return status;
}

int showAbout(const Arguments& arguments) {
  expectOperands(arguments, 0, 0);
  const ExportPlugin plugin(onePlugin(arguments));
  if (plugin.about() != 1) {
    printError(quotedName(plugin.path()) + ": About gave 0: the plug-in showed no box");
    return kExitFailure;
  }
  return kExitSuccess;
}

int checkPlugins(Arguments arguments) {
  expectOperands(arguments, 0, 0);
  if (arguments.list) {
    (void)std::fputs(checkListing(outputWidth()).c_str(), stdout);
    return kExitSuccess;
  }
  if (!arguments.writeBlocks.empty()) {
    try {
      const std::size_t written = writeBlocks(arguments.writeBlocks, arguments.check.random);
      (void)std::printf("%zu blocks written to %s\n", written,
                        quotedName(arguments.writeBlocks).c_str());
      return kExitSuccess;
    } catch (const std::runtime_error& error) {
      printError(error.what());
      return kExitTrouble;
    }
  }
  if (selectedChecks(arguments.check).empty()) {
    throw UsageError("--only and --skip leave no check to run");
  }
  std::vector<std::string> paths = arguments.plugins;
  if (paths.empty()) {
    paths.push_back(defaultPluginPath());
  }
  // A file that is not there is one line, not a report of checks that could not run.
  int missing = kExitSuccess;
  for (const std::string& path : paths) {
    if (namesNoFile(path)) {
      printError(noSuchPlugin(path));
      missing = kExitFailure;
    } else {
      arguments.check.plugins.push_back(path);
    }
  }
  if (arguments.check.plugins.empty()) {
    return missing;
  }
  // The report is written over whatever the file held: never over what is being checked.
  if (const auto report = identityOf(arguments.check.junit)) {
    for (const std::string& path : arguments.check.plugins) {
      if (identityOf(path) == report) {
        throw UsageError("--junit " + quotedValue(arguments.check.junit) +
                         " names the plug-in being checked; give another file for the report");
      }
    }
  }
  try {
    const CheckRunResult result = runChecks(arguments.check);
    return result == CheckRunResult::AllPassed ? missing : kExitFailure;
  } catch (const OutputError&) {
    throw;
  } catch (const std::runtime_error& error) {
    // exporthost's own trouble, not the plug-in's.
    printError(error.what());
    return kExitTrouble;
  }
}

// Runs the command. `outputFailureSaid` is set when standard output failed and that has been said.
int run(int argc, char** argv, bool& outputFailureSaid) {
  try {
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.help) {
      const auto own =
          arguments.operands.empty() ? std::nullopt : commandHelp(arguments.operands.front());
      (void)std::fputs(own ? own->c_str() : fullHelp().c_str(), stdout);
      return kExitSuccess;
    }
    if (!arguments.error.empty()) {
      throw UsageError(arguments.error);
    }
    if (arguments.version) {
      (void)std::printf(kVersion, RAWOUT_VERSION);
      if (!std::string_view(RAWOUT_COMMIT).empty()) {
        (void)std::printf(kVersionCommit, RAWOUT_COMMIT);
      }
      (void)std::fputs(kVersionNotices, stdout);
      return kExitSuccess;
    }
    if (arguments.operands.empty()) {
      throw UsageError("missing command");
    }
    const std::string& command = arguments.operands.front();
    if (!arguments.checkOnlyOption.empty() && command != "check") {
      throw UsageError("option '--" + arguments.checkOnlyOption +
                       "' is taken by the check command only");
    }
    if (command == "check") {
      return checkPlugins(arguments);
    }
    if (command == "export") {
      return runExport(arguments);
    }
    if (command == "formats") {
      return listFormats(arguments);
    }
    if (command == "about") {
      return showAbout(arguments);
    }
    if (command == "help") {
      return printHelp(arguments);
    }
    throw unknownCommand(command);
  } catch (const UsageError& error) {
    printError(error.what());
    (void)std::fputs("Try 'exporthost --help' for more information.\n", stderr);
    return kExitUsage;
  } catch (const OutputError& error) {
    // A report cut off is exporthost's own trouble, not the plug-in's.
    printError(error.what());
    outputFailureSaid = true;
    return kExitTrouble;
  } catch (const std::exception& error) {
    printError(error.what());
    // The plug-in is still loaded: a normal end would run its failing unload in exporthost.
    if (dynamic_cast<const UnloadFailed*>(&error) != nullptr) {
      endWithoutUnloading(kExitFailure);
    }
  }
  return kExitFailure;
}

}  // namespace
}  // namespace rawout

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], rawout::kCheckProcessMode) == 0) {
    return rawout::runCheckProcessMain(std::vector<std::string>(argv + 2, argv + argc));
  }
  if (const auto status =
          rawout::runSaveProcessIfAsked(std::vector<std::string>(argv + 1, argv + argc))) {
    return *status;
  }
  bool outputFailureSaid = false;
  int status = rawout::run(argc, argv, outputFailureSaid);
  // Output errors are caught here at once: a full disk or closed pipe on stdout is a failure too,
  // not a silent success, whatever the status was (a usage error's included).
  if (!outputFailureSaid && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
    rawout::printError(std::string("standard output: write error: ") + std::strerror(errno));
    status = rawout::kExitFailure;
  }
  return status;
}
