#!/usr/bin/env bash
# Starts or stops the DNS server of the network tests: dnsmasq answering
# the test zone (zone.conf beside this script) on 127.0.0.1:16053, in a
# folder of its own. The machine's resolver is never touched: the tests
# point their look-ups at this server.
#   dnsmasq.sh start <folder>    waits (bounded) until it answers
#   dnsmasq.sh stop <folder>     ends it by its own pid
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
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null || true
}
case "$action" in
  start)
    stop
    mkdir -p "$folder"
    dnsmasq --conf-file="$here/zone.conf" --keep-in-foreground --pid-file= --user="$(id -un)" \
      </dev/null >"$folder/dnsmasq.log" 2>&1 &
    echo $! > "$folder/pid"
    for _ in $(seq 1 250); do
      if ! kill -0 "$(cat "$folder/pid")" 2>/dev/null; then
        echo "dnsmasq ended at start; see $folder/dnsmasq.log" >&2
        exit 1
      fi
      grep -q 'started' "$folder/dnsmasq.log" 2>/dev/null && exit 0
      sleep 0.02
    done
    echo "dnsmasq did not start; see $folder/dnsmasq.log" >&2
    exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: dnsmasq.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
