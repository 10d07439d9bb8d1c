// exporthost: loads export plug-ins as the Velmont host does and runs them from a shell.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "input_block.h"
#include "plugin_check.h"
#include "plugin_loader.h"
#include "quoted_name.h"
#include "scratch_folder.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: exporthost export [--plugin PATH] INPUT [BASENAME]\n"
    "  or:  exporthost formats [--plugin PATH]...\n"
    "  or:  exporthost about [--plugin PATH]\n"
    "  or:  exporthost check [--plugin PATH]... [--about]\n"
    "Load export plug-ins the way the Velmont host does, and run them.\n"
    "\n"
    "Commands:\n"
    "  export    write the bytes of INPUT (\"-\" for standard input) through the\n"
    "            plug-in; the plug-in names the file: BASENAME plus its extension.\n"
    "            BASENAME defaults to INPUT without its last extension.\n"
    "  formats   print each plug-in's display name\n"
    "  about     show the plug-in's about box\n"
    "  check     check each plug-in against what a host relies on, in a private\n"
    "            temporary folder: one line per check, PASS or FAIL, then a count.\n"
    "            About is called only with --about, and must then give 1 once the\n"
    "            box is dismissed.\n"
    "\n"
    "Options:\n"
    "  --plugin PATH  the plug-in module file to load (default: the rawout module\n"
    "                 installed with this program)\n"
    "  --about        (check) also check the about box\n"
    "  --help         print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when an export, load, read or check fails (or the\n"
    "about box cannot be shown), 2 on a usage error.\n";

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
  bool about = false;
  std::string error;  // the first usage error, reported unless --help was given
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void printError(const std::string& message) {
  (void)std::fprintf(stderr, "exporthost: %s\n", message.c_str());
}

// GNU conventions: options anywhere, unambiguous abbreviations, "--" ends them. A usage error is
// kept, not thrown, so that --help anywhere still wins.
Arguments parse(int argc, char** argv) {
  enum : int { kPlugin = 1, kAbout, kHelp, kVersion };
  constexpr option kOptions[] = {{"plugin", required_argument, nullptr, kPlugin},
                                 {"about", no_argument, nullptr, kAbout},
                                 {"help", no_argument, nullptr, kHelp},
                                 {"version", no_argument, nullptr, kVersion},
                                 {nullptr, 0, nullptr, 0}};
  Arguments arguments;
  ::opterr = 0;  // the messages are ours
  int last = ::optind;
  for (int found = 0; (found = ::getopt_long(argc, argv, ":", kOptions, nullptr)) != -1;
       last = ::optind) {
    const std::string given = argv[last];
    switch (found) {
      case kPlugin:
        arguments.plugins.emplace_back(::optarg);
        break;
      case kAbout:
        arguments.about = true;
        break;
      case kHelp:
        arguments.help = true;
        break;
      case kVersion:
        arguments.version = true;
        break;
      case ':':
        arguments.error = "option '" + given + "' requires an argument";
        break;
      default:
        arguments.error = "unrecognized or ambiguous option '" + given + "'";
        break;
    }
  }
  for (int index = ::optind; index < argc; ++index) {
    arguments.operands.emplace_back(argv[index]);
  }
  return arguments;
}

#ifdef _WIN32
constexpr char kFolderSeparators[] = "/\\:";
#else
constexpr char kFolderSeparators[] = "/";
#endif

// "dir/prog.hex" -> "dir/prog"; a leading dot starts a name, not an extension.
std::string withoutExtension(const std::string& path) {
  const std::size_t nameStart = path.find_last_of(kFolderSeparators) + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) {
    return path;
  }
  return path.substr(0, dot);
}

std::string onePlugin(const Arguments& arguments) {
  if (arguments.plugins.size() > 1) {
    throw UsageError("only one --plugin is taken by this command");
  }
  return arguments.plugins.empty() ? rawout::defaultPluginPath() : arguments.plugins.front();
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

// A plug-in that names no format still gets a line that reads.
const char* displayName(const rawout::ExportPlugin& plugin) {
  const char* name = plugin.description();
  return name != nullptr ? name : "(unnamed format)";
}

// The extension the plug-in appends, learnt from an empty save under the same name in a private
// folder; unknown when that save fails.
std::optional<std::string> trialExtension(const rawout::ExportPlugin& plugin,
                                          const std::string& baseName) {
  try {
    const rawout::ScratchFolder scratch;
    const std::string stem = baseName.substr(baseName.find_last_of(kFolderSeparators) + 1);
    char extension[16] = {};
    if (plugin.savePrgmFile(nullptr, 0, (scratch / stem).c_str(), extension) != 1) {
      return std::nullopt;
    }
    const std::string reported(extension, ::strnlen(extension, sizeof extension));
    return rawout::couldBeExtension(reported) ? std::optional(reported) : std::nullopt;
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

int exportProgram(const Arguments& arguments) {
  expectOperands(arguments, 1, 2);
  const std::string& input = arguments.operands[1];
  if (input == "-" && arguments.operands.size() < 3) {
    throw UsageError("a BASENAME is needed when INPUT is standard input");
  }
  const std::string baseName =
      arguments.operands.size() == 3 ? arguments.operands[2] : withoutExtension(input);
  const rawout::ExportPlugin plugin(onePlugin(arguments));
  const rawout::InputBlock block(input);

  // Whatever extension the plug-in appends, the file it would write must not be the input.
  if (const auto clash = block.outputThatIsInput(baseName, trialExtension(plugin, baseName))) {
    printError(rawout::quotedName(*clash) + ": is the input file; give another BASENAME");
    return kExitFailure;
  }
  char extension[16] = {};
  rawout::clearFailureCause();
  if (plugin.savePrgmFile(block.data(), block.size(), baseName.c_str(), extension) != 1) {
    const std::string cause = rawout::failureCause();
    printError(rawout::quotedName(baseName) + ": cannot export as " + displayName(plugin) +
               (cause.empty() ? std::string() : ": " + cause));
    return kExitFailure;
  }
  (void)std::printf("%s%s: %lu %s written as %s\n", baseName.c_str(), extension,
                    static_cast<unsigned long>(block.size()), block.size() == 1 ? "byte" : "bytes",
                    displayName(plugin));
  return kExitSuccess;
}

int listFormats(const Arguments& arguments) {
  expectOperands(arguments, 0, 0);
  std::vector<std::string> paths = arguments.plugins;
  if (paths.empty()) {
    paths.push_back(rawout::defaultPluginPath());
  }
  int status = kExitSuccess;
  for (const std::string& path : paths) {
    try {
      const rawout::ExportPlugin plugin(path);
      (void)std::printf("%s\n", displayName(plugin));
    } catch (const rawout::LoadError& error) {
      printError(error.what());
      status = kExitFailure;
    }
  }
  return status;
}

int showAbout(const Arguments& arguments) {
  expectOperands(arguments, 0, 0);
  const rawout::ExportPlugin plugin(onePlugin(arguments));
  if (plugin.about() != 1) {
    printError(rawout::quotedName(plugin.path()) +
               ": the about box could not be shown (is there a display?)");
    return kExitFailure;
  }
  return kExitSuccess;
}

int checkPlugins(const Arguments& arguments) {
  expectOperands(arguments, 0, 0);
  std::vector<std::string> paths = arguments.plugins;
  if (paths.empty()) {
    paths.push_back(rawout::defaultPluginPath());
  }
  unsigned passed = 0;
  unsigned failed = 0;
  for (const std::string& path : paths) {
    for (const auto& result : rawout::checkPlugin(path, arguments.about)) {
      if (result.failure.empty()) {
        ++passed;
        (void)std::printf("PASS %s\n", result.name.c_str());
      } else {
        ++failed;
        (void)std::printf("FAIL %s: %s\n", result.name.c_str(), result.failure.c_str());
      }
    }
  }
  (void)std::printf("%u passed, %u failed\n", passed, failed);
  return failed == 0 ? kExitSuccess : kExitFailure;
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
    if (arguments.about && command != "check") {
      throw UsageError("option '--about' is taken by the check command only");
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

int main(int argc, char** argv) {
  int status = run(argc, argv);
  // Output errors are caught here at once: a full disk or closed pipe on stdout is a failure too,
  // not a silent success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    printError(std::string("standard output: write error: ") + std::strerror(errno));
    status = kExitFailure;
  }
  return status;
}
