#!/usr/bin/env bash
# Starts or stops a kamailio registrar for the SIP tests on loopback, UDP
# and TCP, with locations in memory and its runtime files in its folder.
#   kamailio_peer.sh CONFIG PORT start <folder>   waits (bounded) until it listens
#   kamailio_peer.sh CONFIG PORT stop <folder>    ends it by its own pid
set -euo pipefail
config=$1
port=$2
action=$3
folder=$4
. "$(cd "$(dirname "$0")" && pwd)/peer_process.sh"
stop() { peer_stop "$folder/pid"; }
case "$action" in
  start)
    mkdir -p "$folder/run"
    stop
    kamailio -DD -E -f "$config" -Y "$folder/run" -l "udp:127.0.0.1:$port" -l "tcp:127.0.0.1:$port" \
      -n 1 </dev/null >"$folder/kamailio.log" 2>&1 &
    echo $! >"$folder/pid"
    listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port"); }
    peer_wait_ready kamailio "$folder/pid" "$folder/kamailio.log" listening || { stop; exit 1; }
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: kamailio_peer.sh CONFIG PORT start|stop <folder>" >&2
    exit 2
    ;;
esac
