#!/bin/sh
# The coverage gate, run after the whole suite of the coverage build:
#   coverage_gate.sh BUILD SOURCE COLLECTED LINES BRANCHES
# Processes run as another user wrote their counts under GCOV_PREFIX, and the tests that ran them
# left those in COLLECTED/*/: each count file is merged into the build's own (gcov-tool merge).
# gcovr then writes BUILD/coverage/summary.txt and index.html over host/ and plugin/, the Linux
# sources (the Windows ones are not built here), and fails below LINES and BRANCHES per cent.
set -eu
build=$1 source=$2 collected=$3 lines=$4 branches=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -d "$collected" ]; then
  find "$collected" -name '*.gcda' | while read -r counted; do
    own=/${counted#"$collected"/*/}
    if [ -f "$own" ]; then
      rm -rf "$work/own" "$work/other" "$work/merged"
      mkdir "$work/own" "$work/other"
      cp "$own" "$work/own/" && cp "$counted" "$work/other/"
      gcov-tool merge -o "$work/merged" "$work/own" "$work/other"
      cp "$work/merged/"*.gcda "$own"
    else
      mkdir -p "$(dirname "$own")" && cp "$counted" "$own"
    fi
  done
  rm -rf "$collected"
fi
mkdir -p "$build/coverage"
cd "$source"
# CMake's compiler probes are no code of ours. A process that dumps its counts as it ends (a
# fault, a signal) can race another thread's count by one: gcov then prints a branch "taken -1",
# which gcovr is told to skip, and names, rather than stop the report for.
gcovr --root "$source" --object-directory "$build" --filter 'host/' --filter 'plugin/' \
  --gcov-ignore-parse-errors \
  --exclude '.*_windows\.cpp$' --exclude-directories '.*CompilerId.*' --exclude-throw-branches \
  --exclude-unreachable-branches --txt "$build/coverage/summary.txt" \
  --html-details "$build/coverage/index.html" --print-summary \
  --fail-under-line "$lines" --fail-under-branch "$branches" >"$work/totals" 2>&1 || status=$?
cat "$work/totals"
grep -E '^(lines|functions|branches):' "$work/totals" >"$build/coverage/totals.txt"
echo "gate: $lines % of lines, $branches % of branches"
exit "${status:-0}"
