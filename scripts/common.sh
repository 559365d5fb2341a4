# Shared by scripts/run, scripts/test and scripts/bench: installs what is missing, builds,
# and provides an X display and a Wine prefix. Source it; do not run it.

ZEPHA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZEPHA_BUILD=$ZEPHA_ROOT/build/linux-mingw
export ZEPHA_BUILD_DIR=$ZEPHA_BUILD
export WINEPREFIX=$ZEPHA_BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Debian packages the build and the tests need, with a file that shows each is there.
ZEPHA_PACKAGES=(
  "cmake:/usr/bin/cmake"
  "make:/usr/bin/make"
  "g++-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-g++-posix"
  "gcc-mingw-w64-x86-64-posix:/usr/bin/x86_64-w64-mingw32-gcc-posix"
  "googletest:/usr/src/googletest/CMakeLists.txt"
  "wine:/usr/bin/wine"
  "wine64:/usr/lib/wine/wine64"
  "xvfb:/usr/bin/Xvfb"
  "xauth:/usr/bin/xauth"
  "x11-utils:/usr/bin/xwininfo"
  "xdotool:/usr/bin/xdotool"
  "imagemagick:/usr/bin/import"
  "clang:/usr/bin/clang++"
  "libclang-rt-14-dev:/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a"
  "python3:/usr/bin/python3"
  "zlib1g-dev:/usr/include/zlib.h"
)

zepha_install() {
  local missing=()
  for entry in "${ZEPHA_PACKAGES[@]}"; do
    [ -e "${entry#*:}" ] || missing+=("${entry%%:*}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
  fi
  echo "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

zepha_build() {
  cd "$ZEPHA_ROOT" || exit 1
  cmake --preset linux-mingw >/dev/null || exit 1
  cmake --build --preset linux-mingw "$@" || exit 1
}

# Uses $DISPLAY when set; otherwise starts Xvfb on a free display and stops it on exit.
ZEPHA_XVFB_PID=
zepha_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
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
    echo "Creating the Wine prefix in $WINEPREFIX (once per build folder)"
    wineboot --init </dev/null >/dev/null 2>&1
  else
    wineboot </dev/null >/dev/null 2>&1
  fi
}

zepha_stop_wine() {
  wineserver -k 2>/dev/null
}
