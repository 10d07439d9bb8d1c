// What --help and --version print; help2man makes exporthost(1) from the two.
#pragma once

namespace rawout {

// Every option's text starts in one column, and so do its further lines, as help2man expects.
inline constexpr char kUsage[] =
    "Usage: exporthost export [--plugin PATH] INPUT [BASENAME]\n"
    "  or:  exporthost formats [--plugin PATH]...\n"
    "  or:  exporthost about [--plugin PATH]\n"
    "  or:  exporthost check [--plugin PATH]... [CHECK OPTION]...\n"
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
    "            One line per check, PASS, FAIL or SKIP, then a count. What the\n"
    "            files hold is checked only as --expect or --reference declares it.\n"
    "            About is called only with --about, and must then give 1 once the\n"
    "            box is dismissed.\n"
    "\n"
    "Options (those marked check are the check options):\n"
    "  --plugin PATH         the plug-in module file to load (default: the rawout\n"
    "                        module installed with this program)\n"
    "  --expect=identity     (check) each file holds its block byte for byte\n"
    "  --reference=COMMAND   (check) each file holds what COMMAND writes to its\n"
    "                        standard output from the block on its standard input;\n"
    "                        it runs through the shell (sh -c; cmd /c on Windows),\n"
    "                        with the block's base name in RAWOUT_BASE_NAME\n"
    "  --about               (check) also check the about box\n"
    "  --list                (check) print the checks, each with what it promises\n"
    "  --only NAMES          (check) run only these checks (comma-separated)\n"
    "  --skip NAMES          (check) leave these checks out (comma-separated)\n"
    "  --timeout SECONDS     (check) fail a check with no answer after this long\n"
    "                        (default 60); the check's processes are ended\n"
    "  --format=tap          (check) report in TAP version 14 instead of plain\n"
    "                        lines; --format=tap13 for harnesses that know only 13\n"
    "  --junit=FILE          (check) also write the results to FILE as JUnit XML\n"
    "  --strict              (check) a skipped check fails the run too\n"
    "  --in-process          (check) run every check in exporthost's own process,\n"
    "                        for a debugger; a plug-in that crashes then ends it\n"
    "  --help                print this help and exit\n"
    "  --version             print the version and exit\n"
    "\n"
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
