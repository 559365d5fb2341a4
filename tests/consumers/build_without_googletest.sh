#!/usr/bin/env bash
# Configures and builds the project as a machine without GoogleTest would: the tests are
# switched off with one message, and the libraries, the editor and the examples still build.
#   build_without_googletest.sh SOURCE_DIR WORK_DIR
set -u
source=$1 work=$2
fail() {
  echo "FAIL: $*"
  exit 1
}
rm -rf "$work" && mkdir -p "$work" || exit 1
cmake -S "$source" -B "$work/build" --toolchain "$source/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZEPHA_GTEST_SOURCE_DIR="$work/no-googletest" \
  >"$work/configure.log" 2>&1 || fail "configure: $(tail -20 "$work/configure.log")"
grep -q "GoogleTest not found" "$work/configure.log" ||
  fail "configure said nothing about the missing GoogleTest"
cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || fail "build: $(tail -30 "$work/build.log")"
for file in runtime/libzepha_runtime.a display/libzepha_display.a editor/zepha_editor.exe \
  examples/zepha_event_stream.exe examples/zepha_primitives.exe; do
  [ -f "$work/build/$file" ] || fail "$file was not built"
done
[ ! -e "$work/build/googletest" ] || fail "GoogleTest was built all the same"
echo "PASS: $(grep -c . "$work/configure.log") configure lines, tests off, everything else built"
