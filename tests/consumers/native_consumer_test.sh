#!/usr/bin/env bash
# Builds the consumer programs natively one way a user would bring ZEPHA in, and runs each on
# the X display until its graphics window shows, then ends it with Ctrl+Q:
#   native_consumer_test.sh WAY SOURCE_DIR BUILD_DIR WORK_DIR
# WAY is subdirectory, fetchcontent, package (cmake --install of BUILD_DIR), archive
# (scripts/package --native, then the unpacked tar.gz, its starter project included) or starter
# (the repository's starter project, copied, on the source tree); the starter project is built
# with its default preset, which makes a native program here.
set -u
unset ZEPHA_ROOT # the starter project finds the ZEPHA it lies in, unless told otherwise
way=$1 source=$2 build=$3 work=$4
starter=
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "FAIL ($way): $*"
  exit 1
}

[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set: the programs need an X display"
rm -rf "$work" && mkdir -p "$work" || exit 1
case $way in
  subdirectory | fetchcontent)
    project=$here/$way
    args=(-DZEPHA_SOURCE_DIR="$source")
    ;;
  package)
    cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
      fail "cmake --install: $(tail -5 "$work/install.log")"
    project=$here/package
    args=(-DCMAKE_PREFIX_PATH="$work/prefix")
    ;;
  archive)
    ZEPHA_PACKAGE_BUILD_DIR=$work/package-build "$source/scripts/package" --native "$work" \
      >"$work/package.log" 2>&1 || fail "scripts/package: $(tail -20 "$work/package.log")"
    archive=$(ls "$work"/zepha-*-linux-*.tar.gz 2>/dev/null | head -1)
    [ -n "$archive" ] || fail "scripts/package made no zepha-<version>-linux-<machine>.tar.gz"
    (cd "$work" && cmake -E tar xf "$archive") || fail "cannot unpack $archive"
    unpacked=${archive%.tar.gz}
    for file in bin/zepha_editor bin/zepha_bouncing_ball include/runtime/graphics_runtime.h \
      include/display/graphics_display.h lib/libzepha_runtime.a lib/libzepha_display.a \
      lib/cmake/zepha/zepha-config.cmake share/doc/zepha/README.md \
      share/doc/zepha/zepha_font_license.txt share/zepha/starter/CMakeLists.txt; do
      [ -f "$unpacked/$file" ] || fail "the archive lacks $file"
    done
    [ ! -e "$unpacked/include/runtime/core/runtime_state.h" ] || fail "the archive holds a private header"
    project=$here/package
    args=(-DCMAKE_PREFIX_PATH="$unpacked")
    starter=$unpacked/share/zepha/starter
    ;;
  starter)
    cp -r "$source/starter" "$work/starter" && rm -rf "$work/starter/build"* || exit 1
    starter=$work/starter
    export ZEPHA_ROOT=$source
    ;;
  *) fail "unknown way" ;;
esac

programs=()
if [ -n "$starter" ]; then
  echo "-- the starter project with its one command: cmake --workflow --preset default"
  (cd "$starter" && cmake --workflow --preset default) >"$work/starter.log" 2>&1 ||
    fail "the starter project: $(tail -20 "$work/starter.log")"
  programs+=("$starter/build/my_program")
  [ -x "${programs[0]}" ] || fail "the starter's default preset made no native build/my_program"
fi
# The consumer project: every way but the starter's.
build_consumer() {
  echo "-- configure and build the consumer natively ($way)"
  cmake -S "$project" -B "$work/consumer" -DCMAKE_BUILD_TYPE=Release "${args[@]}" \
    >"$work/configure.log" 2>&1 || fail "configure: $(tail -20 "$work/configure.log")"
  cmake --build "$work/consumer" -j 2 >"$work/build.log" 2>&1 ||
    fail "build: $(tail -30 "$work/build.log")"

  if [ "$way" = subdirectory ]; then
    echo "-- a program with main() instead of app_main() fails to link, naming app_main"
    if cmake --build "$work/consumer" --target no_app_main >"$work/no_app_main.log" 2>&1; then
      fail "no_app_main linked"
    fi
    grep -q "undefined reference to .app_main" "$work/no_app_main.log" ||
      fail "the link error does not name app_main: $(tail -10 "$work/no_app_main.log")"
  fi
  programs+=("$work/consumer/hello_display" "$work/consumer/hello_runtime")
}
[ "$way" = starter ] || build_consumer

# Whether the program still runs: gone, or ended and not yet waited for (a zombie), it does not.
running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ]
}

for exe in "${programs[@]}"; do
  program=$(basename "$exe")
  [ -x "$exe" ] || fail "$program was not built"
  echo "-- $program until its window shows, then Ctrl+Q"
  (cd "$work" && exec "$exe" </dev/null >"$work/$program.out" 2>&1) &
  pid=$!
  window=
  for _ in $(seq 300); do
    for candidate in $(xdotool search --pid "$pid" --name '^ZEPHA Graphics$' 2>/dev/null); do
      [ "$(xdotool getwindowname "$candidate" 2>/dev/null)" = "ZEPHA Graphics" ] && window=$candidate
    done
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    kill "$pid" 2>/dev/null
    fail "$program showed no graphics window within 30 s"
  fi
  # Keys go to the window under the pointer on a display without a window manager; again until
  # the program has ended, since a key that comes before the window is ready may go nowhere.
  for i in $(seq 100); do
    running "$pid" || break
    [ $((i % 10)) -eq 1 ] && xdotool mousemove --window "$window" 300 300 key ctrl+q 2>/dev/null
    sleep 0.1
  done
  if running "$pid"; then
    kill "$pid"
    fail "$program did not end within 10 s of Ctrl+Q"
  fi
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "$program ended with status $status after Ctrl+Q"
  echo "   ended with status 0"
done
echo "PASS ($way)"
