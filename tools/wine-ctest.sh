#!/usr/bin/env bash
# Runs ctest of the x86_64 build with one persistent wineserver in the build
# tree's own Wine prefix. Expects a display (see tools/test.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build/x86_64"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES=winedbg.exe=d
wineserver=/usr/lib/wine/wineserver
wine=/usr/lib/wine/wine64

# A server left over from another run would make -p do nothing.
$wineserver -k 2>/dev/null || true
$wineserver -w 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test: creating the Wine prefix"
  $wine wineboot -i >/dev/null 2>&1 || true
  $wineserver -w
fi
# The server must not inherit ctest's output pipe, or every test waits on it.
$wineserver -p </dev/null >/dev/null 2>&1
trap '$wineserver -k 2>/dev/null || true' EXIT
$wine wineboot >/dev/null 2>&1 </dev/null || true

cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
