// exporthost: loads export plug-ins as the Velmont host does and runs them from a shell.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "check_command.h"
#include "command_line.h"
#include "export_command.h"
#include "input_block.h"
#include "paths.h"
#include "plugin_loader.h"
#include "quoted_name.h"

namespace rawout {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: exporthost export [--plugin PATH] INPUT [BASENAME]\n"
    "  or:  exporthost formats [--plugin PATH]...\n"
    "  or:  exporthost about [--plugin PATH]\n"
    "  or:  exporthost check [--plugin PATH]... [--about] [--only NAMES] [--skip NAMES]\n"
    "                        [--timeout SECONDS] [--format=tap] [--junit=FILE] [--in-process]\n"
    "  or:  exporthost check --list\n"
    "Load export plug-ins the way the Velmont host does, and run them.\n"
    "\n"
    "Commands:\n"
    "  export    write the bytes of INPUT (\"-\" for standard input) through the\n"
    "            plug-in; the plug-in names the file: BASENAME plus its extension.\n"
    "            BASENAME defaults to INPUT without its last extension.\n"
    "  formats   print each plug-in's display name\n"
    "  about     show the plug-in's about box\n"
    "  check     check each plug-in against what a host relies on: each check runs\n"
    "            in a process of its own, in private temporary folders, so a plug-in\n"
    "            that crashes, exits or hangs fails that check and the rest go on.\n"
    "            One line per check, PASS, FAIL or SKIP, then a count. About is\n"
    "            called only with --about, and must then give 1 once the box is\n"
    "            dismissed.\n"
    "\n"
    "Options:\n"
    "  --plugin PATH  the plug-in module file to load (default: the rawout module\n"
    "                 installed with this program)\n"
    "  --about        (check) also check the about box\n"
    "  --list         (check) print the checks, each with what it promises\n"
    "  --only NAMES   (check) run only these checks (comma-separated)\n"
    "  --skip NAMES   (check) leave these checks out (comma-separated)\n"
    "  --timeout SECONDS  (check) fail a check with no answer after this long\n"
    "                 (default 60); the check's processes are ended\n"
    "  --format=tap   (check) report in TAP version 14 instead of plain lines;\n"
    "                 --format=tap13 for harnesses that know only version 13\n"
    "  --junit=FILE   (check) also write the results to FILE as JUnit XML\n"
    "  --in-process   (check) run every check in exporthost's own process, for a\n"
    "                 debugger; a plug-in that crashes then ends exporthost\n"
    "  --help         print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when an export, load, read or check fails (or the\n"
    "about box cannot be shown), 2 on a usage error or when check cannot work (no\n"
    "temporary folder, no display for --about).\n";

constexpr char kVersion[] =
    "exporthost (rawout) %s\n"
    "Copyright (C) 2026 the rawout project\n"
    "License MIT: see the LICENSE file that comes with rawout.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n"
    "\n"
    "Written by the rawout contributors.\n";

struct Arguments {
  std::vector<std::string> operands;
  std::vector<std::string> plugins;
  bool help = false;
  bool version = false;
  std::string error;  // the first usage error, reported unless --help was given
  CheckOptions check;
  bool list = false;
  std::string checkOnly;  // an option given that only the check command takes
};

void printError(const std::string& message) {
  (void)std::fprintf(stderr, "exporthost: %s\n", message.c_str());
}

Arguments parse(int argc, char** argv) {
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
  const auto fail = [&arguments](const std::string& message) {
    if (arguments.error.empty()) {
      arguments.error = message;
    }
  };
  for (auto& [name, value] : line.options) {
    if (name == "plugin") {
      arguments.plugins.push_back(std::move(value));
      continue;
    }
    if (name == "version") {
      arguments.version = true;
      continue;
    }
    if (arguments.checkOnly.empty()) {
      arguments.checkOnly = name;
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
        if (value != "tap" && value != "tap13" && value != "text") {
          throw UsageError("invalid format " + quotedName(value) + ": give text, tap or tap13");
        }
        arguments.check.format = value == "tap"     ? CheckOptions::Format::Tap
                                 : value == "tap13" ? CheckOptions::Format::Tap13
                                                    : CheckOptions::Format::Text;
      } else if (name == "junit") {
        arguments.check.junit = value;
      } else {
        arguments.check.inProcess = true;
      }
    } catch (const UsageError& error) {
      fail(error.what());
    }
  }
  return arguments;
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
    throw UsageError("extra operand '" + arguments.operands[most + 1] + "'");
  }
}

int exportProgram(const Arguments& arguments) {
  expectOperands(arguments, 1, 2);
  const std::string& input = arguments.operands[1];
  if (input == "-" && arguments.operands.size() < 3) {
    throw UsageError("a BASENAME is needed when INPUT is standard input");
  }
  const std::string baseName =
      arguments.operands.size() == 3 ? arguments.operands[2] : baseNameOf(input);
  if (baseName.empty()) {
    throw UsageError("BASENAME is empty; give the file name to write, without its extension");
  }
  if (namesAFolder(baseName)) {
    throw UsageError("BASENAME " + quotedName(baseName) +
                     " names a folder; give the file name to write, without its extension");
  }
  const Exporter exporter(onePlugin(arguments));
  const InputBlock block(input);
  (void)std::printf("%s\n", exporter.save(block, baseName).c_str());
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
      (void)std::printf("%s\n", displayNameOf(plugin).c_str());
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
    printError(quotedName(plugin.path()) +
               ": the about box could not be shown (is there a display?)");
    return kExitFailure;
  }
  return kExitSuccess;
}

int checkPlugins(Arguments arguments) {
  expectOperands(arguments, 0, 0);
  if (arguments.list) {
    listChecks();
    return kExitSuccess;
  }
  arguments.check.plugins = arguments.plugins;
  if (arguments.check.plugins.empty()) {
    arguments.check.plugins.push_back(defaultPluginPath());
  }
  try {
    return runChecks(arguments.check);
  } catch (const UsageError&) {
    throw;
  } catch (const std::runtime_error& error) {
    // exporthost's own trouble, not the plug-in's.
    printError(error.what());
    return kExitUsage;
  }
}

int run(int argc, char** argv) {
  try {
    const Arguments arguments = parse(argc, argv);
    if (arguments.help) {
      (void)std::fputs(kUsage, stdout);
      return kExitSuccess;
    }
    if (!arguments.error.empty()) {
      throw UsageError(arguments.error);
    }
    if (arguments.version) {
      (void)std::printf(kVersion, RAWOUT_VERSION);
      return kExitSuccess;
    }
    if (arguments.operands.empty()) {
      throw UsageError("missing command");
    }
    const std::string& command = arguments.operands.front();
    if (!arguments.checkOnly.empty() && command != "check") {
      throw UsageError("option '--" + arguments.checkOnly + "' is taken by the check command only");
    }
    if (command == "check") {
      return checkPlugins(arguments);
    }
    if (command == "export") {
      return exportProgram(arguments);
    }
    if (command == "formats") {
      return listFormats(arguments);
    }
    if (command == "about") {
      return showAbout(arguments);
    }
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& error) {
    printError(error.what());
    (void)std::fputs("Try 'exporthost --help' for more information.\n", stderr);
    return kExitUsage;
  } catch (const std::exception& error) {
    printError(error.what());
  }
  return kExitFailure;
}

}  // namespace
}  // namespace rawout

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], rawout::kCheckProcessMode) == 0) {
    return rawout::runCheckProcessMain(std::vector<std::string>(argv + 2, argv + argc));
  }
  int status = rawout::run(argc, argv);
  // Output errors are caught here at once: a full disk or closed pipe on stdout is a failure too,
  // not a silent success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    rawout::printError(std::string("standard output: write error: ") + std::strerror(errno));
    status = rawout::kExitFailure;
  }
  return status;
}
