#!/usr/bin/env bash
# Runs a Windows program under Wine with the build folder's own prefix:
#   wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# The prefix lives in BUILD_DIR/wineprefix, Wine's debug output is off and the
# .NET and HTML installers that a new prefix would offer are skipped. One program at a time runs
# on the shared prefix and display (BUILD_DIR/wine.lock, which the consumer tests take too); the
# lock is not handed to Wine's background processes.
set -u
build_dir=$1
shift
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec flock --close "$build_dir/wine.lock" wine "$@"
