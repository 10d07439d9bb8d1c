#!/bin/sh
# Two builds of one commit made the same packages: every package listed in FIRST's SHA256SUMS is
# byte for byte the one in SECOND, both lists verify, and no file inside a package names a folder
# either build ran in.
#   same_packages.sh FIRST SECOND [FOLDER...]
# FIRST and SECOND are the trees whose build/PRESET folders hold the packages; each FOLDER (FIRST
# and SECOND when none is given) is a path no package may contain. The first difference is shown
# with diffoscope, and the script fails.
set -eu
first=$1 second=$2
shift 2
[ $# -gt 0 ] || set -- "$first" "$second"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT

compared=0
for preset in release deb mingw64 mingw; do
  [ -f "$first/build/$preset/SHA256SUMS" ] || continue
  for tree in "$first" "$second"; do
    (cd "$tree/build/$preset" && sha256sum --ignore-missing -c SHA256SUMS) ||
      { echo "$tree/build/$preset: the packages do not match their SHA256SUMS"; exit 1; }
  done
  while read -r _ package; do
    compared=$((compared + 1))
    if ! cmp -s "$first/build/$preset/$package" "$second/build/$preset/$package"; then
      echo "$package differs between the two builds:"
      diffoscope --no-progress --text - "$first/build/$preset/$package" \
        "$second/build/$preset/$package" || true
      exit 1
    fi
    echo "same: $package"
    into=$unpacked/$package
    mkdir -p "$into"
    case $package in
      *.deb) dpkg-deb -x "$first/build/$preset/$package" "$into" ;;
      *) (cd "$into" && cmake -E tar xf "$first/build/$preset/$package") ;;
    esac
  done <"$first/build/$preset/SHA256SUMS"
done
[ "$compared" -gt 0 ] || { echo "no SHA256SUMS under $first/build: no package was compared"; exit 1; }

# Compressed pages are read as text; everything else as strings, as a person would look.
find "$unpacked" -type f | while read -r file; do
  case $file in
    *.gz) text=$(gzip -dc "$file") ;;
    *) text=$(strings -a "$file") ;;
  esac
  for folder in "$@"; do
    case $text in
      *"$folder"*) echo "${file#"$unpacked"/} names the build folder $folder"; exit 1 ;;
    esac
  done
done
echo "$compared packages built twice are the same, and none names a build folder"
