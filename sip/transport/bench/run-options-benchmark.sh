#!/usr/bin/env bash
# Runs the OPTIONS-over-UDP benchmark of the x86_64 build under Wine
# against sipp servers on loopback (tests/peers/sipp.sh), started before
# and stopped after by their own pids. Arguments go to the benchmark.
set -euo pipefail
here=$(cd "$(dirname "$0")/../../.." && pwd)
build="$here/build/x86_64"
folder="$build/sip/transport/sipp-bench"
peers="$here/sip/transport/tests/peers/sipp.sh"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d
bash "$peers" start "$folder"
trap 'bash "$peers" stop "$folder"' EXIT
/usr/lib/wine/wine64 "$build/sip/transport/sip_options_benchmark.exe" "$@" </dev/null
