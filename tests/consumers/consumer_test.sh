#!/usr/bin/env bash
# Builds the consumer programs one way a user would bring ZEPHA in, checks that they are
# self-contained GUI programs, and runs each under Wine until its graphics window shows:
#   consumer_test.sh WAY SOURCE_DIR BUILD_DIR WORK_DIR PROBE_EXE
# WAY is subdirectory, fetchcontent, package (cmake --install of BUILD_DIR), archive
# (scripts/package, then the unpacked zip and its starter project, whose default preset builds
# what the archive holds, a Windows program; the release build is ZEPHA_PACKAGE_BUILD_DIR when
# set) or starter (the repository's starter project, copied, built with its windows preset on
# the source tree). BUILD_DIR is this project's build, whose Wine prefix and X display the
# programs share with the other tests, one program at a time; PROBE_EXE waits for the graphics
# window and closes it.
set -u
unset ZEPHA_ROOT # the starter project finds the ZEPHA it lies in, unless told otherwise
way=$1 source=$2 build=$3 work=$4 probe=$5
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$source/cmake/mingw-w64-x86_64.cmake
objdump=x86_64-w64-mingw32-objdump
programs=(hello_display hello_runtime)
starter_preset=default starter_build=build

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
    toolchain=$work/prefix/lib/cmake/zepha/mingw-w64-x86_64.cmake
    ;;
  archive)
    ZEPHA_PACKAGE_BUILD_DIR=${ZEPHA_PACKAGE_BUILD_DIR:-$work/package-build} \
      "$source/scripts/package" --windows "$work" >"$work/package.log" 2>&1 ||
      fail "scripts/package: $(tail -20 "$work/package.log")"
    zip=$(ls "$work"/zepha-*-win64.zip 2>/dev/null | head -1)
    [ -n "$zip" ] || fail "scripts/package made no zepha-<version>-win64.zip"
    (cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
    unpacked=${zip%.zip}
    for file in bin/zepha_editor.exe bin/zepha_replay.exe bin/zepha_bouncing_ball.exe \
      include/runtime/graphics_runtime.h include/display/graphics_display.h \
      lib/libzepha_runtime.a lib/libzepha_display.a lib/cmake/zepha/zepha-config.cmake \
      lib/cmake/zepha/mingw-w64-x86_64.cmake share/doc/zepha/README.md \
      share/doc/zepha/zepha_font_license.txt share/zepha/starter/CMakeLists.txt \
      share/zepha/starter/CMakePresets.json share/zepha/starter/main.cpp \
      share/zepha/examples/bouncing_ball.cpp; do
      [ -f "$unpacked/$file" ] || fail "the archive lacks $file"
    done
    [ ! -e "$unpacked/include/runtime/core/runtime_state.h" ] || fail "the archive holds a private header"
    project=$here/package
    args=(-DCMAKE_PREFIX_PATH="$unpacked")
    toolchain=$unpacked/lib/cmake/zepha/mingw-w64-x86_64.cmake
    starter=$unpacked/share/zepha/starter
    ;;
  starter)
    cp -r "$source/starter" "$work/starter" && rm -rf "$work/starter/build"* || exit 1
    starter=$work/starter starter_preset=windows starter_build=build-windows
    export ZEPHA_ROOT=$source
    ;;
  *) fail "unknown way" ;;
esac

if [ "$way" = package ] || [ "$way" = archive ]; then
  echo "-- without the toolchain file, configure stops and names the installed one"
  line="ZEPHA builds Windows programs: configure with --toolchain $toolchain"
  if cmake -S "$project" -B "$work/no-toolchain" -DCMAKE_CXX_COMPILER=clang++ "${args[@]}" \
    >"$work/no-toolchain.log" 2>&1; then
    fail "configure without the toolchain file succeeded"
  fi
  sed 's/^ *//' "$work/no-toolchain.log" | grep -qxF "$line" ||
    fail "configure did not say \"$line\": $(tail -10 "$work/no-toolchain.log")"
fi

if [ -n "${project:-}" ]; then
  echo "-- configure and build the consumer ($way)"
  cmake -S "$project" -B "$work/consumer" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    "${args[@]}" >"$work/configure.log" 2>&1 || fail "configure: $(tail -20 "$work/configure.log")"
  cmake --build "$work/consumer" -j 2 >"$work/build.log" 2>&1 ||
    fail "build: $(tail -30 "$work/build.log")"
fi

if [ -n "${starter:-}" ]; then
  echo "-- the starter project with its one command: cmake --workflow --preset $starter_preset"
  (cd "$starter" && cmake --workflow --preset "$starter_preset") >"$work/starter.log" 2>&1 ||
    fail "starter: $(tail -30 "$work/starter.log")"
  mkdir -p "$work/consumer" && cp "$starter/$starter_build/my_program.exe" "$work/consumer/" ||
    fail "the starter's $starter_preset preset made no $starter_build/my_program.exe"
  if [ "$way" = starter ]; then programs=(my_program); else programs+=(my_program); fi
fi

if [ "$way" = subdirectory ]; then
  echo "-- a program with main() instead of app_main() fails to link, naming app_main"
  if cmake --build "$work/consumer" --target no_app_main >"$work/no_app_main.log" 2>&1; then
    fail "no_app_main linked"
  fi
  grep -q "undefined reference to .app_main" "$work/no_app_main.log" ||
    fail "the link error does not name app_main: $(tail -10 "$work/no_app_main.log")"
fi

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
for program in "${programs[@]}"; do
  exe=$work/consumer/$program.exe
  [ -f "$exe" ] || fail "$program.exe was not built"
  echo "-- $program.exe: a GUI program that needs no DLL beside it"
  headers=$("$objdump" -p "$exe") || fail "objdump $exe"
  grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "$program.exe is not a GUI program"
  dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '\n' ' ')
  for dll in $dlls; do
    case ${dll,,} in
      kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll | api-ms-win-*) ;;
      *) fail "$program.exe needs $dll" ;;
    esac
  done

  echo "-- $program.exe under Wine until its window shows"
  # One program at a time on the shared display and prefix (cmake/wine-run.sh takes the same
  # lock): the probe closes whichever graphics window it finds. Wine's background processes may
  # outlive the program: no pipe of ours, nor the lock, is handed to them.
  exec {lock}>"$build/wine.lock" && flock "$lock" || fail "cannot lock $build/wine.lock"
  wine "$exe" </dev/null >"$work/$program.out" 2>&1 {lock}>&- &
  pid=$!
  if ! wine "$probe" 60000 close </dev/null >"$work/$program.window" 2>/dev/null {lock}>&-; then
    kill "$pid" 2>/dev/null
    fail "$program.exe showed no graphics window within 60 s"
  fi
  wait "$pid"
  status=$?
  exec {lock}>&-
  [ "$status" -eq 0 ] || fail "$program.exe ended with status $status after its window was closed"
  echo "   window at $(cat "$work/$program.window"), ended with status 0"
done
echo "PASS ($way)"
