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
. "$here/../../../tools/peer_process.sh"
stop() { peer_stop "$folder/pid"; }
case "$action" in
  start)
    stop
    mkdir -p "$folder"
    dnsmasq --conf-file="$here/zone.conf" --keep-in-foreground --pid-file= --user="$(id -un)" \
      </dev/null >"$folder/dnsmasq.log" 2>&1 &
    echo $! > "$folder/pid"
    peer_wait_ready dnsmasq "$folder/pid" "$folder/dnsmasq.log" grep -q started "$folder/dnsmasq.log"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: dnsmasq.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
