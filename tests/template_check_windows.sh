#!/bin/sh
# The template as a Windows author uses it: copied out of the installed package, cross-built with
# the same mingw-w64 toolchain against it, and checked by its own ctest under wine.
#   template_check_windows.sh PRESET      (mingw or mingw64, after that preset's workflow)
set -eu
preset=$1
case $preset in
  mingw) toolchain_file=mingw-w64-i686.cmake ;;
  mingw64) toolchain_file=mingw-w64-x86_64.cmake ;;
  *) echo "template_check_windows.sh: unknown preset $preset" >&2; exit 2 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "build/$preset" --prefix "$work/installed" >/dev/null
# The toolchain file the package carries, as an author on Linux uses it.
toolchain=$work/installed/cmake/$toolchain_file
cp -R "$work/installed/template" "$work/myformat"
# A cross build looks for packages inside its target's root alone: name the package's folder.
env -u WINEPREFIX cmake -S "$work/myformat" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -Drawout_DIR="$work/installed/cmake" >/dev/null
cmake --build "$work/build" >/dev/null
# The kit gives wine a prefix in the build folder, and keeps wine's own messages out.
env -u WINEPREFIX -u WINEDEBUG ctest --test-dir "$work/build" --output-on-failure >"$work/ctest.log" 2>&1 ||
  { cat "$work/ctest.log"; exit 1; }
WINEPREFIX=$work/build/wineprefix wineserver -w
[ -d "$work/build/wineprefix" ] || { echo "FAIL: the kit gave wine no prefix of the build's" >&2; exit 1; }
if grep -E '^[0-9a-f]{4}:(err|fixme|warn):' "$work/ctest.log"; then
  echo "FAIL: wine's messages reached the check's output" >&2
  exit 1
fi
# The same CMakeLists with a reference command of the build machine's (one cmd does not know):
# the kit runs it here, on the blocks the emulated exporthost wrote, random ones among them.
sed -i 's/^rawout_add_plugin_check(myformat EXPECT identity STRICT)$/rawout_add_plugin_check(myformat REFERENCE "cat" STRICT SEED 4 MAX_SIZE 64K)/' \
  "$work/myformat/CMakeLists.txt"
env -u WINEPREFIX cmake -S "$work/myformat" -B "$work/build" >/dev/null
env -u WINEPREFIX -u WINEDEBUG ctest --test-dir "$work/build" --output-on-failure >"$work/ctest.log" 2>&1 ||
  { cat "$work/ctest.log"; exit 1; }
grep -q 'tests passed, 0 tests failed out of 3' "$work/ctest.log" &&
  grep -q 'name="content" time="[0-9.]*"/>' "$work/build/myformat-check.xml" &&
  grep -q 'value="--seed 4 --repeat 1 --max-size 65536"' "$work/build/myformat-check.xml" ||
  { cat "$work/ctest.log" "$work/build/myformat-check.xml"; echo "FAIL: the build machine's reference did not serve the check" >&2; exit 1; }
objdump=$(grep -o '[a-z0-9_]*-w64-mingw32' "$toolchain" | head -1)-objdump
exports=$("$objdump" -p "$work/build/myformat.dll" |
  sed -n '/Ordinal\/Name Pointer/,/^$/p' | awk '/^\t\[/ {print $3}' | sort | tr '\n' ' ')
[ "$exports" = "About GetPluginDescription SavePrgmFile " ] ||
  { echo "FAIL: myformat.dll exports: $exports" >&2; exit 1; }
echo "PASS: the template built for Windows ($preset) and checked under wine"
