#!/usr/bin/env bash
# Starts or stops the STUN server of the NAT-type tests on 127.0.0.1 and
# 127.0.0.2, ports 16978 and 16979: Debian's stund where it is installed,
# else the classic server of this folder (python3).
#   stun.sh start <folder>   waits (bounded) until it answers
#   stun.sh stop <folder>
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../../tools/peer_process.sh"
stop() { peer_stop "$folder"/*.pid; }
answers() {
  python3 - <<'PY'
import os, socket, struct
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(0.2)
s.sendto(struct.pack("!HH", 1, 0) + os.urandom(16), ("127.0.0.1", 16978))
s.recvfrom(2048)
PY
}
case "$action" in
  start)
    mkdir -p "$folder"
    stop
    if command -v stund >/dev/null; then
      (cd "$folder" && exec stund -h 127.0.0.1 -a 127.0.0.2 -p 16978 -o 16979 -v </dev/null >"$folder/stun.log" 2>&1) &
    else
      (cd "$folder" && exec python3 "$here/stun_server.py" 127.0.0.1 127.0.0.2 16978 16979 \
        </dev/null >"$folder/stun.log" 2>&1) &
    fi
    echo $! >"$folder/stun.pid"
    peer_wait_ready "STUN server" "$folder/stun.pid" "$folder/stun.log" answers || { stop; exit 1; }
    ;;
  stop)
    stop
    ;;
esac
