#!/usr/bin/env bash
# Starts or stops the sipp servers of the SIP transport tests, each in its
# own folder with its scenario from this folder, on loopback only:
#   16600 UDP answers 200    16601 TCP answers 200
#   16602 UDP answers 503    16603 UDP answers 302
#   16604 UDP never answers   16605 UDP answers 200, also a retransmission
#   16606 UDP client: OPTIONS, then INFO, to 127.0.0.1:16620 once a second
# Control ports 16700-16706, media ports from 16800. Each ends by its own
# -timeout at the latest; stop ends them by their own pids.
#   sipp.sh start <folder>   waits (bounded) until each is up
#   sipp.sh stop <folder>
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../../tools/peer_process.sh"
servers=(
  "16600 u1 uas_200.xml"
  "16601 t1 uas_200.xml"
  "16602 u1 uas_503.xml"
  "16603 u1 uas_302.xml"
  "16604 u1 uas_silent.xml"
  "16605 u1 uas_200_again.xml"
  "16606 u1 uac_options.xml 127.0.0.1:16620"
)
stop() { peer_stop "$folder"/*.pid; }
case "$action" in
  start)
    mkdir -p "$folder"
    stop
    i=0
    for server in "${servers[@]}"; do
      read -r port transport scenario remote <<<"$server"
      (cd "$folder" && exec sipp ${remote:+"$remote" -r 1 -rp 1000 -recv_timeout 2000} -sf "$here/$scenario" -i 127.0.0.1 -p "$port" \
        -t "$transport" -cp $((16700 + i)) -ci 127.0.0.1 -mi 127.0.0.1 -mp $((16800 + 10 * i)) \
        -nostdin -timeout 900s -max_recv_loops 1000 -trace_err \
        </dev/null >"$folder/sipp-$port.log" 2>&1) &
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
    echo "usage: sipp.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
