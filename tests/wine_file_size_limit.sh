#!/bin/sh
# On Windows too, a write cut short is an error with its cause, and leaves the output that was
# there as it was, with nothing beside it: the save goes into a private folder, which goes too.
# wine has no way to make a write to a regular file fail from inside, so the file-size limit is
# set on the wine process, with SIGXFSZ ignored so that the write fails instead of ending the
# process. The wine server is started first, so that it does not inherit the limit.
#   wine_file_size_limit.sh WINE EXPORTHOST.EXE
set -eu
wine=$1 exporthost=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
head -c 1048576 /dev/urandom >"$dir/big.prg"
head -c 100 /dev/urandom >"$dir/out.bin"
cp "$dir/out.bin" "$dir/before"

wineserver -p10 2>/dev/null || true # one may be running already
"$wine" "$exporthost" --version >/dev/null # and the prefix is set up, without the limit

trap '' XFSZ
status=0
prlimit --fsize=65536 "$wine" "$exporthost" export "$dir/big.prg" "$dir/out" \
  >"$dir/stdout" 2>"$dir/stderr" || status=$?
trap - XFSZ

fail() {
  echo "FAIL: $*" >&2
  sed 's/^/  stderr: /' "$dir/stderr" >&2
  exit 1
}
[ "$status" -eq 1 ] || fail "exit status $status, expected 1"
grep -q "^exporthost: .*out\.bin: cannot export as Binary File: ." "$dir/stderr" ||
  fail "no cause given"
# A successful open on an existing file leaves ERROR_ALREADY_EXISTS, which is no cause of this.
! grep -qi "already exists" "$dir/stderr" || fail "the cause is left over from the open"
cmp -s "$dir/before" "$dir/out.bin" || fail "out.bin is not as it was"
left=$(cd "$dir" && ls -A | sort | tr '\n' ' ')
[ "$left" = "before big.prg out.bin stderr stdout " ] || fail "left behind: $left"
echo "PASS: $(cat "$dir/stderr")"
