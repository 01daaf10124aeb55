#!/usr/bin/env bash
# The failing peers of the user agent tests, sipp servers on loopback:
#   16750 UDP answers every INVITE 486 and awaits its ACK
#   16751 UDP answers every BYE 481
# Control ports 16752-16753, media ports from 16760. Each ends by its own
# -timeout at the latest; stop ends them by their own pids.
#   sipp_failures.sh start|stop <folder>
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../../tools/peer_process.sh"
servers=("16750 uas_486.xml" "16751 uas_481.xml")
stop() { peer_stop "$folder"/*.pid; }
case "$action" in
  start)
    mkdir -p "$folder"
    stop
    i=0
    for server in "${servers[@]}"; do
      read -r port scenario <<<"$server"
      (cd "$folder" && exec sipp -sf "$here/$scenario" -i 127.0.0.1 -p "$port" -t u1 -cp $((16752 + i)) \
        -ci 127.0.0.1 -mi 127.0.0.1 -mp $((16760 + 10 * i)) -nostdin -timeout 900s -max_recv_loops 1000 \
        -trace_err </dev/null >"$folder/sipp-$port.log" 2>&1) &
      echo $! >"$folder/sipp-$port.pid"
      i=$((i + 1))
    done
    sleep 0.3
    for server in "${servers[@]}"; do
      read -r port _ <<<"$server"
      if ! kill -0 "$(cat "$folder/sipp-$port.pid")" 2>/dev/null; then
        echo "sipp on $port ended at start; see $folder/sipp-$port.log" >&2
        stop
        exit 1
      fi
    done
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: sipp_failures.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
