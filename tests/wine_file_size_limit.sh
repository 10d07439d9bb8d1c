#!/bin/sh
# On Windows too, a write cut short is an error with its cause, and leaves the output that was
# there as it was, with nothing beside it: the save goes into a private folder, which goes too.
# An output that is a link stays one, its target replaced beside it; a file with two names keeps
# both, and the bytes are written into it. wine shows a Unix link as the file it leads to, as
# Windows opens a symbolic link, and has no way to make a write to a regular file fail from
# inside: the file-size limit is set on the wine process, with SIGXFSZ ignored so that the write
# fails instead of ending the process. The wine server is started first, so that it does not
# inherit the limit.
#   wine_file_size_limit.sh WINE EXPORTHOST.EXE
set -eu
wine=$1 exporthost=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
head -c 1048576 /dev/urandom >"$dir/big.prg"
head -c 1000 /dev/urandom >"$dir/small.prg"
head -c 100 /dev/urandom >"$dir/before"

wineserver -p10 2>/dev/null || true # one may be running already
"$wine" "$exporthost" --version >/dev/null # and the prefix is set up, without the limit

fail() {
  echo "FAIL: $*" >&2
  sed 's/^/  stderr: /' "$dir/stderr" >&2
  exit 1
}

# export_to KIND LIMIT INPUT: out.bin made as KIND (plain, link or names) from "before", then
# the export of INPUT into it under the file-size limit LIMIT (none for none). Sets status.
export_to() {
  rm -rf "$dir/out.bin" "$dir/other.bin" "$dir/sub" && mkdir "$dir/sub"
  case $1 in
  plain) cp "$dir/before" "$dir/out.bin" ;;
  link) cp "$dir/before" "$dir/sub/target.bin" && ln -s sub/target.bin "$dir/out.bin" ;;
  names) cp "$dir/before" "$dir/out.bin" && ln "$dir/out.bin" "$dir/other.bin" ;;
  esac
  status=0
  trap '' XFSZ
  if [ "$2" = none ]; then
    "$wine" "$exporthost" export "$dir/$3" "$dir/out" >"$dir/stdout" 2>"$dir/stderr" || status=$?
  else
    prlimit --fsize="$2" "$wine" "$exporthost" export "$dir/$3" "$dir/out" \
      >"$dir/stdout" 2>"$dir/stderr" || status=$?
  fi
  trap - XFSZ
}

# what_is_left: the files beside the output (and in sub/), hidden ones too, the test's own aside.
what_is_left() {
  (cd "$dir" && for file in * .[!.]* sub/* sub/.[!.]*; do
    case ${file##*/} in
    before | big.prg | small.prg | stderr | stdout | sub | *'*'*) ;;
    *) printf '%s ' "${file##*/}" ;;
    esac
  done)
}

for kind in plain link names; do
  case $kind in
  plain) expected="out.bin " ;;
  link) expected="out.bin target.bin " ;;
  names) expected="other.bin out.bin " ;;
  esac
  export_to "$kind" 65536 big.prg
  [ "$status" -eq 1 ] || fail "$kind: exit status $status, expected 1"
  grep -q "^exporthost: .*out\.bin: cannot export as Binary File: ." "$dir/stderr" ||
    fail "$kind: no cause given"
  # A successful open on an existing file leaves ERROR_ALREADY_EXISTS, which is no cause of this.
  ! grep -qi "already exists" "$dir/stderr" || fail "$kind: the cause is left over from the open"
  cmp -s "$dir/before" "$dir/out.bin" || fail "$kind: out.bin is not as it was"
  [ "$(what_is_left)" = "$expected" ] || fail "$kind: left $(what_is_left), expected $expected"

  export_to "$kind" none small.prg
  [ "$status" -eq 0 ] || fail "$kind: exit status $status, expected 0"
  cmp -s "$dir/small.prg" "$dir/out.bin" || fail "$kind: out.bin does not hold the program"
  [ "$kind" != link ] || [ -L "$dir/out.bin" ] || fail "the link is no longer a link"
  [ "$kind" != names ] || cmp -s "$dir/small.prg" "$dir/other.bin" ||
    fail "the file's other name does not hold the program"
  [ "$(what_is_left)" = "$expected" ] || fail "$kind: left $(what_is_left), expected $expected"
done
echo "PASS"
