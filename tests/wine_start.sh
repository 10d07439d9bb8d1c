#!/bin/sh
# wine starts its server and service processes with the first program run in a prefix, and they
# outlive that program by seconds. Started by a test, they would keep the test's output open, and
# ctest waits for it: about 3 s on every test. Started here with no output, they serve every test
# and end 5 s after the last program.
#   wine_start.sh WINE
set -eu
wineserver -w # the one the test listing started, whose lifetime cannot be changed
wineserver -p5 </dev/null >/dev/null 2>&1
"$1" cmd /c exit </dev/null >/dev/null 2>&1 ||
  { echo "wine cannot run a program in ${WINEPREFIX:-~/.wine}" >&2; exit 1; }
