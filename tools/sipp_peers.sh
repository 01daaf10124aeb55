#!/usr/bin/env bash
# Starts or stops a set of sipp peers on loopback, each from its scenario
# file, with its log and pid in one folder. Each ends by its own -timeout at
# the latest; stop ends them by their own pids.
#   sipp_peers.sh SCENARIOS CONTROL_BASE MEDIA_BASE start|stop <folder> SERVER...
# SERVER is "port transport scenario [remote]": with a remote the peer is a
# client sending to it once a second. Peer i takes control port
# CONTROL_BASE+i and media ports from MEDIA_BASE+10i.
set -euo pipefail
scenarios=$1
control=$2
media=$3
action=$4
folder=$5
shift 5
servers=("$@")
. "$(cd "$(dirname "$0")" && pwd)/peer_process.sh"
stop() { peer_stop "$folder"/*.pid; }
case "$action" in
  start)
    mkdir -p "$folder"
    stop
    i=0
    for server in "${servers[@]}"; do
      read -r port transport scenario remote <<<"$server"
      (cd "$folder" && exec sipp ${remote:+"$remote" -r 1 -rp 1000 -recv_timeout 2000} -sf "$scenarios/$scenario" \
        -i 127.0.0.1 -p "$port" -t "$transport" -cp $((control + i)) -ci 127.0.0.1 -mi 127.0.0.1 \
        -mp $((media + 10 * i)) -nostdin -timeout 900s -max_recv_loops 1000 -trace_err \
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
    echo "usage: sipp_peers.sh SCENARIOS CONTROL_BASE MEDIA_BASE start|stop <folder> SERVER..." >&2
    exit 2
    ;;
esac
