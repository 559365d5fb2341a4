# Shared by scripts/run, scripts/test and scripts/bench: installs what is missing, builds,
# and provides an X display and a Wine prefix. Source it; do not run it.

ZEPHA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZEPHA_BUILD=$ZEPHA_ROOT/build/linux-mingw
ZEPHA_NATIVE_BUILD=$ZEPHA_ROOT/build/linux
export ZEPHA_BUILD_DIR=$ZEPHA_BUILD
export WINEPREFIX=$ZEPHA_BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Debian packages, each with a file that shows it is there: what every build needs, what the
# native build adds, what the Windows build and its runs under Wine add, and what the tests add.
ZEPHA_COMMON_PACKAGES=(
  "cmake:/usr/bin/cmake"
  "make:/usr/bin/make"
  "python3:/usr/bin/python3"
  "xvfb:/usr/bin/Xvfb"
  "xauth:/usr/bin/xauth"
  "x11-utils:/usr/bin/xwininfo"
)
ZEPHA_NATIVE_PACKAGES=(
  "g++:/usr/bin/g++"
  "libfltk1.3-dev:/usr/include/FL/Fl.H"
  "fluid:/usr/bin/fluid"
  "libfreetype-dev:/usr/include/freetype2/ft2build.h"
  "libx11-dev:/usr/include/X11/Xlib.h"
  "libxtst-dev:/usr/include/X11/extensions/XTest.h"
  "zlib1g-dev:/usr/include/zlib.h"
)
ZEPHA_WINDOWS_PACKAGES=(
  "g++-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-g++-posix"
  "gcc-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-gcc-posix"
  "wine:/usr/bin/wine"
  "wine64:/usr/lib/wine/wine64"
  "libz-mingw-w64-dev:/usr/x86_64-w64-mingw32/include/zlib.h"
)
ZEPHA_TEST_PACKAGES=(
  "googletest:/usr/src/googletest/CMakeLists.txt"
  "xdotool:/usr/bin/xdotool"
  "imagemagick:/usr/bin/import"
  "python3-png:/usr/lib/python3/dist-packages/png.py"
  "python3-pil:/usr/lib/python3/dist-packages/PIL/__init__.py"
  "bubblewrap:/usr/bin/bwrap"
  "util-linux:/usr/bin/prlimit"
  "clang:/usr/bin/clang++"
  "libclang-rt-14-dev:/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a"
)

# zepha_install [native|windows|all]: installs what that needs and is missing (all by default).
zepha_install() {
  local wanted=("${ZEPHA_COMMON_PACKAGES[@]}")
  case "${1:-all}" in
    native) wanted+=("${ZEPHA_NATIVE_PACKAGES[@]}") ;;
    windows) wanted+=("${ZEPHA_WINDOWS_PACKAGES[@]}") ;;
    *) wanted+=("${ZEPHA_NATIVE_PACKAGES[@]}" "${ZEPHA_WINDOWS_PACKAGES[@]}" "${ZEPHA_TEST_PACKAGES[@]}") ;;
  esac
  # Without root it says how to install what is missing, and stops.
  zepha_install_packages "${wanted[@]}" || [ "$(id -u)" -eq 0 ] || exit 1
}

zepha_build() {
  cd "$ZEPHA_ROOT" || exit 1
  cmake --preset linux-mingw >/dev/null || exit 1
  cmake --build --preset linux-mingw "$@" || exit 1
}

# The native build on FLTK, in build/linux.
zepha_build_native() {
  cd "$ZEPHA_ROOT" || exit 1
  cmake --preset linux >/dev/null || exit 1
  cmake --build --preset linux "$@" || exit 1
}

# Uses $DISPLAY when set; otherwise starts Xvfb on a free display and stops it on exit.
ZEPHA_XVFB_PID=
zepha_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  # -noreset: the server stays as it is when its last program ends, so that a program started
  # just then is not refused while it resets (seen: a test's second program found no display).
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  ZEPHA_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  [ -n "${ZEPHA_QUIET_DISPLAY:-}" ] || echo "Started Xvfb on display $DISPLAY"
}

zepha_stop_display() {
  if [ -n "$ZEPHA_XVFB_PID" ]; then
    kill "$ZEPHA_XVFB_PID" 2>/dev/null
    wait "$ZEPHA_XVFB_PID" 2>/dev/null
    ZEPHA_XVFB_PID=
  fi
}

# Creates the build folder's Wine prefix once and keeps a wineserver, with Wine's own
# background processes, running for the session. A wineserver left from an earlier session is
# stopped first: its desktop stays bound to the X display it started on. The background
# processes are started here, with no terminal attached, because whichever Wine program starts
# them lends them its output, and a test runner waiting for that output to close would wait for
# as long as the server lives.
zepha_wine() {
  wineserver -k 2>/dev/null
  wineserver -p 2>/dev/null
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX (once)"
    wineboot --init </dev/null >/dev/null 2>&1
  else
    wineboot </dev/null >/dev/null 2>&1
  fi
}

# For a program of one's own (scripts/run PROGRAM.exe): the build folder's Wine prefix when this
# ZEPHA has been built, else one prefix for the user, shared by every copy of ZEPHA (a
# subproject's or FetchContent's copy has no build folder of its own, and may not be writable).
zepha_program_prefix() {
  if [ ! -d "$ZEPHA_BUILD" ]; then
    export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/zepha/wineprefix
    mkdir -p "$(dirname "$WINEPREFIX")" || exit 1
  fi
}

zepha_stop_wine() {
  wineserver -k 2>/dev/null
}

# ---- The web build ----
# Pages built with Emscripten in build/web-cmake, the site (the pages and an index) in
# build/web, and what npm brings (FreeType's sources, the browser driver) in build/web-deps.
ZEPHA_WEB_BUILD=$ZEPHA_ROOT/build/web-cmake
ZEPHA_WEB_SITE=$ZEPHA_ROOT/build/web
ZEPHA_WEB_DEPS=$ZEPHA_ROOT/build/web-deps
ZEPHA_WEB_PACKAGES=(
  "emscripten:/usr/bin/emcc"
  "npm:/usr/bin/npm"
)
ZEPHA_BROWSER_PACKAGES=(
  "chromium:/usr/bin/chromium"
)

# zepha_install_packages ENTRY...: installs the packages of those entries that are missing;
# returns 1, saying how to install them, when that needs root.
zepha_install_packages() {
  local missing=()
  for entry in "$@"; do
    [ -e "${entry#*:}" ] || missing+=("${entry%%:*}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
    return 1
  fi
  echo "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The npm packages of platform/web/package.json, as its lock file names them.
zepha_web_deps() {
  local lock=$ZEPHA_ROOT/platform/web/package-lock.json
  if ! cmp -s "$lock" "$ZEPHA_WEB_DEPS/package-lock.json" || [ ! -d "$ZEPHA_WEB_DEPS/node_modules" ]; then
    mkdir -p "$ZEPHA_WEB_DEPS" || return 1
    cp "$ZEPHA_ROOT/platform/web/package.json" "$lock" "$ZEPHA_WEB_DEPS/" || return 1
    (cd "$ZEPHA_WEB_DEPS" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error) || return 1
  fi
}

# Emscripten's cache, copied into build/emcache where emcc may write (Debian's is read-only and
# frozen: emcc builds nothing into it). A copy is whole when it holds Emscripten's version file,
# copied last: an empty folder (emcc makes one when the web preset runs before this), a copy cut
# short, or one of another Emscripten version is made again, in a folder of its own that takes
# the name only once complete.
ZEPHA_EM_SYSTEM=/usr/share/emscripten
ZEPHA_EM_CACHE=$ZEPHA_ROOT/build/emcache
zepha_web_cache() {
  cmp -s "$ZEPHA_EM_SYSTEM/emscripten-version.txt" "$ZEPHA_EM_CACHE/emscripten-version.txt" && return 0
  echo "Copying Emscripten's cache into $ZEPHA_EM_CACHE"
  rm -rf "$ZEPHA_EM_CACHE" "$ZEPHA_EM_CACHE.partial" && mkdir -p "$(dirname "$ZEPHA_EM_CACHE")" &&
    cp -r "$ZEPHA_EM_SYSTEM/cache" "$ZEPHA_EM_CACHE.partial" &&
    cp "$ZEPHA_EM_SYSTEM/emscripten-version.txt" "$ZEPHA_EM_CACHE.partial/" &&
    mv "$ZEPHA_EM_CACHE.partial" "$ZEPHA_EM_CACHE"
}

# The web build: Emscripten with a writable copy of its cache, the npm packages, the pages.
zepha_build_web() {
  cd "$ZEPHA_ROOT" || exit 1
  zepha_web_cache || exit 1
  zepha_web_deps || exit 1
  cmake --preset web >/dev/null || exit 1
  cmake --build --preset web "$@" || exit 1
}
