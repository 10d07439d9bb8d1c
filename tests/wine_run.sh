#!/bin/sh
# Runs a test program under wine. Now and then wine fails to start a program at all: it ends at
# once, with an error status and not a byte of output (a test then "fails" in 0.00 s with an
# empty log, which no program of ours can cause: the test program always prints first). Such a
# start is tried again, twice, and said; any run that printed something is the test's verdict.
#   wine_run.sh WINE PROGRAM [ARGUMENT]...
wine=$1
shift
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
for attempt in 1 2 3; do
  "$wine" "$@" >"$work/out" 2>"$work/err"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$work/out" ] || [ -s "$work/err" ]; then
    cat "$work/out"
    cat "$work/err" >&2
    exit "$status"
  fi
  echo "wine_run.sh: wine did not start $1 (attempt $attempt, status $status)" >&2
done
exit "$status"
