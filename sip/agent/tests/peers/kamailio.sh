#!/usr/bin/env bash
# Starts or stops the registrar of the user agent tests: kamailio with
# kamailio.cfg (beside this script) on 127.0.0.1:16880 (UDP; TCP for the
# readiness check), users alice/secret and carol (challenged for ever),
# locations in memory, its runtime files in its folder.
#   kamailio.sh start <folder>   waits (bounded) until it listens
#   kamailio.sh stop <folder>    ends it by its own pid
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../../tools/peer_process.sh"
stop() { peer_stop "$folder/pid"; }
case "$action" in
  start)
    mkdir -p "$folder/run"
    stop
    kamailio -DD -E -f "$here/kamailio.cfg" -Y "$folder/run" -l udp:127.0.0.1:16880 -l tcp:127.0.0.1:16880 \
      -n 1 </dev/null >"$folder/kamailio.log" 2>&1 &
    echo $! >"$folder/pid"
    listening() { (exec 3<>/dev/tcp/127.0.0.1/16880); }
    peer_wait_ready kamailio "$folder/pid" "$folder/kamailio.log" listening || { stop; exit 1; }
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: kamailio.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
