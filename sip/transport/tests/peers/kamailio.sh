#!/usr/bin/env bash
# Starts or stops the registrar of the SIP transport tests: kamailio with
# kamailio.cfg (beside this script) on 127.0.0.1:16610, UDP and TCP, one
# user alice/secret, locations in memory, its runtime files in its folder.
#   kamailio.sh start <folder>   waits (bounded) until it listens
#   kamailio.sh stop <folder>    ends it by its own pid
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "$0")" && pwd)
stop() {
  [ -f "$folder/pid" ] || return 0
  local pid
  pid=$(cat "$folder/pid")
  rm -f "$folder/pid"
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null || true
}
case "$action" in
  start)
    mkdir -p "$folder/run"
    stop
    kamailio -DD -E -f "$here/kamailio.cfg" -Y "$folder/run" -l udp:127.0.0.1:16610 -l tcp:127.0.0.1:16610 \
      -n 1 </dev/null >"$folder/kamailio.log" 2>&1 &
    echo $! >"$folder/pid"
    for _ in $(seq 1 250); do
      if ! kill -0 "$(cat "$folder/pid")" 2>/dev/null; then
        echo "kamailio ended at start; see $folder/kamailio.log" >&2
        exit 1
      fi
      if (exec 3<>/dev/tcp/127.0.0.1/16610) 2>/dev/null; then exit 0; fi
      sleep 0.02
    done
    echo "kamailio did not start; see $folder/kamailio.log" >&2
    stop
    exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: kamailio.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
