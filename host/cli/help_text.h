// What --help and --version print; help2man makes exporthost(1) from the two.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace rawout {

// Every option's text starts in one column, and so do its further lines, as help2man expects.
// The full help (--help, and `exporthost help`) is every piece in order; a command's own help
// (`exporthost COMMAND --help`, `exporthost help COMMAND`) its usage, its paragraph and the
// options it takes.
struct CommandHelp {
  enum class Takes { Nothing, Plugin, CheckOptions };
  std::string_view name;
  std::string_view usage;  // its lines of the usage, without "Usage:" or "or:"
  std::string_view text;   // its paragraph under "Commands:"
  Takes takes;             // the options it takes, --help aside
};

inline constexpr std::array kCommandHelp = {
    CommandHelp{"export", "exporthost export [--plugin PATH] INPUT [BASENAME]\n",
                "  export    write the bytes of INPUT (\"-\" for standard input) through the\n"
                "            plug-in; the plug-in names the file: BASENAME plus its extension.\n"
                "            BASENAME defaults to INPUT without its last extension.\n",
                CommandHelp::Takes::Plugin},
    CommandHelp{"formats", "exporthost formats [--plugin PATH]...\n",
                "  formats   print each plug-in's display name\n", CommandHelp::Takes::Plugin},
    CommandHelp{"about", "exporthost about [--plugin PATH]\n",
                "  about     show the plug-in's about box\n", CommandHelp::Takes::Plugin},
    CommandHelp{"check",
                "exporthost check [--plugin PATH]... [CHECK OPTION]...\n"
                "exporthost check --list\n",
                "  check     check each plug-in against what a host relies on: each check runs\n"
                "            in a process of its own, in private temporary folders, so a plug-in\n"
                "            that crashes, exits or hangs fails that check and the rest go on.\n"
                "            One line per check, PASS, FAIL or SKIP, then a count. What the\n"
                "            files hold is checked only as --expect or --reference declares it.\n"
                "            About is called only with --about, and must then give 1 once the\n"
                "            box is dismissed.\n",
                CommandHelp::Takes::CheckOptions},
    CommandHelp{"help", "exporthost help [COMMAND]\n",
                "  help      print this help, or COMMAND's alone\n", CommandHelp::Takes::Nothing},
};

// All of it, as --help prints it and exporthost(1) is made from it.
std::string fullHelp();
// COMMAND's own, or nothing for a name that is no command.
std::optional<std::string> commandHelp(std::string_view name);

inline constexpr std::string_view kIntroHelp =
    "Load export plug-ins the way the Velmont host does, and run them.\n";

inline constexpr std::string_view kPluginOptionHelp =
    "  --plugin PATH         the plug-in module file to load (default: the rawout\n"
    "                        module installed with this program)\n";

inline constexpr std::string_view kCheckOptionsHelp =
    "  --expect=identity     (check) each file holds its block byte for byte\n"
    "  --reference=COMMAND   (check) each file holds what COMMAND writes to its\n"
    "                        standard output from the block on its standard input;\n"
    "                        it runs through the shell (sh -c; cmd /c on Windows),\n"
    "                        with the block's base name in RAWOUT_BASE_NAME\n"
    "  --reference-dir=DIR   (check) each file holds DIR/NAME.expected, written from\n"
    "                        DIR/NAME.block by a command run elsewhere (on the build\n"
    "                        machine, when the check runs under an emulator)\n"
    "  --write-blocks=DIR    (check) write each content block to DIR/NAME.block, with\n"
    "                        the random rounds asked for, and check nothing\n"
    "  --about               (check) also check the about box\n"
    "  --list                (check) print the checks, each with what it promises\n"
    "  --only NAMES          (check) run only these checks (comma-separated)\n"
    "  --skip NAMES          (check) leave these checks out (comma-separated)\n"
    "  --timeout SECONDS     (check) fail a check with no answer after this long\n"
    "                        (default 60); the check's processes are ended\n"
    "  --format=tap          (check) report in TAP version 14 instead of plain\n"
    "                        lines; --format=tap13 for harnesses that know only 13\n"
    "  --junit=FILE          (check) also write the results to FILE as JUnit XML\n"
    "  --keep DIR            (check) keep the files of each check that fails in\n"
    "                        DIR/CHECK (DIR/N/CHECK for the Nth of several plug-ins)\n"
    "  --seed N              (check) add rounds of random blocks, made from N\n"
    "                        (random: a fresh seed), to the content and\n"
    "                        reproducible checks; the report says how to make them\n"
    "                        again\n"
    "  --repeat K            (check) K rounds of random blocks (default 1; with no\n"
    "                        --seed, seed 1), each about the sizes formats care\n"
    "                        about: record lengths, 64 KiB, 16 MiB and past it\n"
    "  --round N             (check) start at round N of the random blocks, as the\n"
    "                        command printed with a failing check does\n"
    "  --max-size SIZE       (check) no random block above SIZE bytes (K, M or G\n"
    "                        after it for KiB, MiB, GiB; default 32M)\n"
    "  --jobs N              (check) run up to N check processes at once (default:\n"
    "                        one for each core); the report keeps the checks' order\n"
    "  --strict              (check) a skipped check fails the run too\n"
    "  --in-process          (check) run every check in exporthost's own process,\n"
    "                        for a debugger; a plug-in that crashes then ends it\n";

inline constexpr std::string_view kHelpOptionHelp =
    "  -h, --help            print this help and exit (COMMAND --help: that\n"
    "                        command's alone)\n";
inline constexpr std::string_view kVersionOptionHelp =
    "  --version             print the version and exit\n";

inline constexpr std::string_view kExitStatusHelp =
    "Exit status: 0 on success, 1 when an export, load, read or check fails (or the\n"
    "about box cannot be shown), 2 on a usage error or when check cannot do its own\n"
    "part (no temporary folder, no display for --about, a reference command that\n"
    "fails).\n";

// The version, then the commit built from where the build knew it, then the notices.
inline constexpr char kVersion[] = "exporthost (rawout) %s\n";
inline constexpr char kVersionCommit[] = "Built from commit %s.\n";
inline constexpr char kVersionNotices[] =
    "Copyright (C) 2026 the rawout project\n"
    "License MIT: see the LICENSE file that comes with rawout.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n"
    "\n"
    "Written by the rawout contributors.\n";

}  // namespace rawout
