#!/usr/bin/env bash
# Runs the text face comparison: the Win32 runtime draws the cases under Wine, on $DISPLAY or
# on an Xvfb of its own, then the host program compares them with the software face. Wine
# runs in a prefix of the test's own, since a prefix's wineserver stays bound to its display.
#   text_face_wine.sh DUMP_EXE COMPARE_EXE WINE_PREFIX WORK_DIR
set -u
source "$(dirname "$0")/../../scripts/common.sh"
dump_exe=$1
compare=$2
export WINEPREFIX=$3
if [ ! -f "$dump_exe" ]; then
  echo "$dump_exe is missing: build the linux-mingw preset first (scripts/test does)"
  exit 1
fi
ZEPHA_QUIET_DISPLAY=1 zepha_display
dump=$(mktemp "$4/text_face.XXXXXX") || exit 1
trap 'rm -f "$dump"; wineserver -k 2>/dev/null; zepha_stop_display' EXIT
if ! wine "$dump_exe" "$dump" </dev/null; then
  echo "text_face_dump failed"
  exit 1
fi
"$compare" "$dump"
