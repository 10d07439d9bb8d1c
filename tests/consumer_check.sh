#!/bin/sh
# What a host developer and a plug-in author do with an installed rawout, after the install has
# been moved: build a C and a C++ host through find_package and through pkg-config, run them,
# compile the boundary header at every C and C++ language level, and build the template plug-in
# copied out of the install, run its check, and count its exports.
#   consumer_check.sh BUILD_DIR SOURCE_DIR     exits 77 (skipped) without pkg-config
set -eu
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
expect_name() { [ "$("$@")" = "Binary File" ] || fail "$* did not print the display name"; }

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
prefix=$work/moved

cmake -S "$source/tests/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
expect_name "$work/cmake/c_host"
expect_name "$work/cmake/cpp_host"

# The template, as an author starts: copied into an empty folder, built with find_package alone.
cp -R "$prefix/share/rawout/template" "$work/myformat"
cmake -S "$work/myformat" -B "$work/myformat/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/myformat/build" >/dev/null
ctest --test-dir "$work/myformat/build" --output-on-failure >/dev/null ||
  fail "the template's check failed"
grep -q '<testcase classname=[^>]*name="every-byte-value" time="[0-9.]*"/>' "$work/myformat/build/myformat-check.xml" ||
  fail "the template's check left no JUnit results"
exports=$(nm -D --defined-only "$work/myformat/build/myformat.so" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "About GetPluginDescription SavePrgmFile " ] ||
  fail "rawout_add_plugin made myformat.so export: $exports"

# The template is C, and compiles as C++ too, with every warning an error.
for std in c++17 c++20; do
  c++ -x c++ -std=$std -Wall -Wextra -Werror -I"$prefix/include" -fsyntax-only \
    "$work/myformat/myformat.c" || fail "the template does not compile as $std"
done
# Made C++ as its CMakeLists.txt says, it builds through the kit and passes its check, with a
# round of random blocks; a definition without RAWOUT_NOEXCEPT then does not build (the header is
# no system header).
mkdir "$work/mycpp"
sed 's/^project(myformat LANGUAGES C)$/project(myformat LANGUAGES CXX)/; s/myformat\.c)$/myformat.cpp)/
  s/^rawout_add_plugin_check(myformat EXPECT identity STRICT)$/rawout_add_plugin_check(myformat EXPECT identity STRICT SEED 5 MAX_SIZE 64K)/' \
  "$work/myformat/CMakeLists.txt" >"$work/mycpp/CMakeLists.txt"
cp "$work/myformat/myformat.c" "$work/mycpp/myformat.cpp"
cmake -S "$work/mycpp" -B "$work/mycpp/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/mycpp/build" >/dev/null || fail "the template made C++ does not build"
ctest --test-dir "$work/mycpp/build" >/dev/null || fail "the template made C++ fails its check"
grep -q 'value="--seed 5 --repeat 1 --max-size 65536"' "$work/mycpp/build/myformat-check.xml" ||
  fail "SEED and MAX_SIZE did not reach the check"
sed -i 's/^\(RAWOUT_EXPORT const char\* RAWOUT_CALL GetPluginDescription(void)\) RAWOUT_NOEXCEPT/\1/' \
  "$work/mycpp/myformat.cpp"
grep -q '^RAWOUT_EXPORT const char\* RAWOUT_CALL GetPluginDescription(void) {' "$work/mycpp/myformat.cpp" ||
  fail "the test no longer finds GetPluginDescription's definition in the template"
if cmake --build "$work/mycpp/build" >"$work/mycpp.log" 2>&1; then
  fail "a C++ definition without RAWOUT_NOEXCEPT built"
fi
grep -q "different exception specifier" "$work/mycpp.log" || fail "$(cat "$work/mycpp.log")"

# The Intel HEX example, built from the install the same way, passes its own check.
cp -R "$prefix/share/rawout/examples/ihex" "$work/ihex"
cmake -S "$work/ihex" -B "$work/ihex/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/ihex/build" >/dev/null
ctest --test-dir "$work/ihex/build" --output-on-failure >/dev/null || fail "the Intel HEX example's check failed"

# The example host, built from the install the same way, saves through the installed module and
# says why when a save gives 0.
cp -R "$prefix/share/rawout/examples/host" "$work/host"
cmake -S "$work/host" -B "$work/host/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/host/build" >/dev/null
printf 'hello' >"$work/in.prg"
installed=$(find "$prefix" -name rawout.so)
"$work/host/build/plugin_host" "$installed" "$work/in.prg" "$work/out" >/dev/null &&
  cmp -s "$work/in.prg" "$work/out.bin" || fail "the example host did not save through rawout"
if "$work/host/build/plugin_host" "$installed" "$work/in.prg" "$work/none/out" 2>"$work/host.err"; then
  fail "the example host took a failed save for a success"
fi
grep -q ": No such file or directory$" "$work/host.err" || fail "the example host: $(cat "$work/host.err")"

# rawout_add_plugin_check refuses at configure time a word it does not know, a time-out that is
# no number above 0 and a command left unquoted.
refused() { # refused ARGUMENTS MESSAGE
  rm -rf "$work/misspelt" && mkdir "$work/misspelt"
  sed "s/rawout_add_plugin_check(myformat EXPECT identity STRICT)/rawout_add_plugin_check(myformat $1)/" \
    "$work/myformat/CMakeLists.txt" >"$work/misspelt/CMakeLists.txt"
  cp "$work/myformat/myformat.c" "$work/misspelt/"
  if cmake -S "$work/misspelt" -B "$work/misspelt/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/misspelt.log" 2>&1; then
    fail "rawout_add_plugin_check took $1"
  fi
  # CMake wraps a message: its lines are read as one.
  tr -s ' \n' '  ' <"$work/misspelt.log" | grep -qF "$2" || fail "$1: $(cat "$work/misspelt.log")"
}
refused 'EXPECTS identity' 'unknown words "EXPECTS;identity"'
refused 'TIMEOUT 0' 'TIMEOUT takes seconds, a number above 0, not "0"'
refused 'EXPECT identity REPEAT 0' 'REPEAT takes rounds, a whole number above 0, not "0"'
refused 'TIMEOUT soon' 'TIMEOUT takes seconds, a number above 0, not "soon"'
refused 'REFERENCE srec_cat - -binary ONLY content' 'quote the command, as in REFERENCE "srec_cat - -binary"'
refused 'EXPECT identity SKIP contnet' 'no check is called "contnet"; the checks are entry-points,'
refused 'EXPECT identity ONLY quiet,thread' 'no check is called "thread"'

if ! command -v pkg-config >/dev/null; then
  [ -z "${CI:-}" ] || fail "pkg-config is needed in CI"
  echo "pkg-config is not installed"
  exit 77
fi
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name rawout.pc)")
export PKG_CONFIG_PATH
# Moved, the install is found from the .pc file's own place.
cflags=$(pkg-config --define-prefix --cflags rawout)
case $cflags in *..*) fail "pkg-config names no plain include folder: $cflags" ;; esac
module=\"$(pkg-config --define-prefix --variable=plugindir rawout)/rawout.so\"
# shellcheck disable=SC2086 # the flags are words
cc -std=c89 -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE="$module" \
  "$source/tests/consumer/host.c" -o "$work/c_pc" -ldl
# shellcheck disable=SC2086
c++ -std=c++98 -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE="$module" \
  "$source/tests/consumer/host.cpp" -o "$work/cpp_pc" -ldl
expect_name "$work/c_pc"
expect_name "$work/cpp_pc"

# Installed fresh under --prefix, the .pc file and exporthost(1) name that prefix as it is.
fresh=$work/fresh
cmake --install "$build" --prefix "$fresh" >/dev/null
fresh_pc=$(dirname "$(find "$fresh" -name rawout.pc)")
cflags=$(PKG_CONFIG_PATH=$fresh_pc pkg-config --cflags rawout)
case " $cflags " in *" -I$fresh/include "*) ;; *) fail "a --prefix install's pkg-config gives $cflags" ;; esac
module=\"$(PKG_CONFIG_PATH=$fresh_pc pkg-config --variable=plugindir rawout)/rawout.so\"
# shellcheck disable=SC2086
cc -Wall -Wextra -Werror $cflags -DRAWOUT_MODULE="$module" "$source/tests/consumer/host.c" \
  -o "$work/c_fresh" -ldl
expect_name "$work/c_fresh"
[ -f "$fresh/share/bash-completion/completions/exporthost" ] ||
  fail "no bash completion under $fresh/share/bash-completion/completions"
page=$(find "$fresh" -name exporthost.1.gz)
if [ -n "$page" ]; then
  gzip -dc "$page" | grep -q "^\.I $fresh/lib[^ ]*/rawout/rawout\.so$" ||
    fail "exporthost(1) does not name the module under $fresh"
elif [ -n "${CI:-}" ]; then
  fail "no exporthost(1) was installed"
fi

for std in c89 c99 c11 c17; do
  # shellcheck disable=SC2086
  cc -std=$std -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE='""' -fsyntax-only \
    "$source/tests/consumer/host.c" || fail "the header does not compile as $std"
done
for std in c++98 c++11 c++14 c++17 c++20 c++23; do
  # shellcheck disable=SC2086
  c++ -std=$std -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE='""' -fsyntax-only \
    "$source/tests/consumer/host.cpp" || fail "the header does not compile as $std"
done
echo "PASS: find_package and pkg-config hosts, C89 to C17, C++98 to C++23, the template and example plug-ins"
