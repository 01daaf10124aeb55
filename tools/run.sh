#!/usr/bin/env bash
# Installs what is missing, builds both targets and starts the product: the
# x86_64 twin under wine64 (on Windows, run build/i686/kesto/KESTO.exe
# itself). With a display ($DISPLAY) it runs there, otherwise under Xvfb.
# Arguments go to the product's command line. Ctrl-C asks it to close (its
# windows get WM_CLOSE) and waits for its orderly end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/setup.sh"
"$here/tools/build.sh"

exe="$here/build/x86_64/kesto/KESTO.exe"
# A prefix of its own, apart from the one the tests use.
export WINEPREFIX="$here/build/x86_64/runprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES=winedbg.exe=d
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run: creating the Wine prefix $WINEPREFIX"
  $wine wineboot -i >/dev/null 2>&1 || true
  $wineserver -w
fi

if [ -n "${DISPLAY:-}" ]; then
  display=()
else
  echo "run: no display (DISPLAY is not set): the product runs under Xvfb"
  display=(xvfb-run -a)
fi
log="$(dirname "$exe")/KESTO.log"
echo "run: starting $exe (log: $log)"
# Its own session: Ctrl-C reaches this script only, which closes it in order.
setsid "${display[@]}" $wine "$exe" "log(KESTO.log)" "$@" </dev/null &
pid=$!

close() {
  echo "run: closing KESTO"
  $wine taskkill /im KESTO.exe >/dev/null 2>&1 || true
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  echo "run: KESTO did not close within 10 s; ending it"
  kill -- -"$pid" 2>/dev/null || true
}
trap close INT TERM
status=0
wait "$pid" || status=$?
# A signal interrupts the first wait (status above 128); the second one
# reads the product's own exit code.
if [ "$status" -gt 128 ]; then
  status=0
  wait "$pid" 2>/dev/null || status=$?
fi
trap - INT TERM
$wineserver -w 2>/dev/null || true
echo "run: KESTO ended with exit code $status"
exit "$status"
