#!/usr/bin/env bash
# Starts or stops the PulseAudio daemon that gives the voice engine's tests
# real wave devices under Wine: two null sinks, in a folder of its own (its
# own HOME and XDG_RUNTIME_DIR, never the machine's). Clients reach it with
# PULSE_SERVER=unix:<folder>/run/pulse/native.
#   pulse.sh start <folder>    waits (bounded) until the socket is there
#   pulse.sh stop <folder>     ends the daemon by its own pid
set -euo pipefail
action=$1
folder=$2
. "$(cd "$(dirname "$0")" && pwd)/../../../tools/peer_process.sh"
case "$action" in
  start)
    "$0" stop "$folder" || true
    rm -rf "$folder"
    mkdir -p "$folder/run" "$folder/home"
    chmod 700 "$folder/run"
    (
      export HOME="$folder/home" XDG_RUNTIME_DIR="$folder/run"
      exec pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 --use-pid-file=no \
        --log-target=file:"$folder/pulse.log" \
        -L module-native-protocol-unix \
        -L "module-null-sink sink_name=nullA sink_properties=device.description=nullA" \
        -L "module-null-sink sink_name=nullB sink_properties=device.description=nullB"
    ) </dev/null >/dev/null 2>&1 &
    echo $! > "$folder/pid"
    peer_wait_ready pulseaudio "$folder/pid" "$folder/pulse.log" test -S "$folder/run/pulse/native"
    ;;
  stop)
    peer_stop "$folder/pid"
    ;;
  *)
    echo "usage: pulse.sh start|stop <folder>" >&2
    exit 2
    ;;
esac
