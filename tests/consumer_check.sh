#!/bin/sh
# What a host developer does with an installed rawout, after the install has been moved: build a
# C and a C++ host through find_package and through pkg-config, run them, and compile the
# boundary header at every C and C++ language level.
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

if ! command -v pkg-config >/dev/null; then
  [ -z "${CI:-}" ] || fail "pkg-config is needed in CI"
  echo "pkg-config is not installed"
  exit 77
fi
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name rawout.pc)")
export PKG_CONFIG_PATH
cflags=$(pkg-config --cflags rawout)
module=\"$(pkg-config --variable=plugindir rawout)/rawout.so\"
# shellcheck disable=SC2086 # the flags are words
cc -std=c89 -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE="$module" \
  "$source/tests/consumer/host.c" -o "$work/c_pc" -ldl
# shellcheck disable=SC2086
c++ -std=c++98 -Wall -Wextra -pedantic -Werror $cflags -DRAWOUT_MODULE="$module" \
  "$source/tests/consumer/host.cpp" -o "$work/cpp_pc" -ldl
expect_name "$work/c_pc"
expect_name "$work/cpp_pc"

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
echo "PASS: find_package and pkg-config hosts, C89 to C17, C++98 to C++23"
