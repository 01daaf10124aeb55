#!/usr/bin/env bash
# Captures SIP messages of real peers as test fixtures: sipp registers with
# kamailio (REGISTER, the 401 challenge, REGISTER with credentials, 200),
# and a sipp caller calls a sipp answerer (INVITE with SDP, 180, 200 with
# SDP). Loopback only, ports 15000-15029; every peer is stopped by its pid.
# Writes sip/transport/tests/data/captured/*.sip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$here/../tests/data" && pwd)/captured
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/kam"

wait_udp() {  # waits (at most 5 s) for a UDP port to be bound
  for _ in $(seq 50); do
    ss -Hlun "sport = :$1" | grep -q . && return 0
    sleep 0.1
  done
  echo "capture: nothing listens on UDP $1" >&2
  return 1
}

kamailio -DD -E -f "$here/fixtures/kamailio.cfg" -Y "$work/kam" -l udp:127.0.0.1:15000 -n 1 \
  2> "$work/kamailio.log" &
pids+=($!)
wait_udp 15000

cd "$work"
sipp -sf "$here/fixtures/uac_register.xml" -i 127.0.0.1 -p 15001 -cp 15002 -mi 127.0.0.1 -mp 15004 \
  -s alice -au alice -ap secret -m 1 -nostdin -timeout 10s -trace_msg -message_file register.trace \
  127.0.0.1:15000 > sipp-register.out
python3 "$here/fixtures/split_trace.py" register.trace register \
  "$out/sipp-register.sip" "$out/kamailio-401.sip" "$out/sipp-register-credentials.sip" "$out/kamailio-200.sip"

sipp -sn uas -i 127.0.0.1 -p 15010 -cp 15011 -mi 127.0.0.1 -mp 15012 -m 1 -nostdin -timeout 15s \
  > sipp-uas.out &
pids+=($!)
wait_udp 15010
sipp -sn uac -i 127.0.0.1 -p 15020 -cp 15021 -mi 127.0.0.1 -mp 15024 -s bob -m 1 -nostdin -timeout 15s \
  -trace_msg -message_file invite.trace 127.0.0.1:15010 > sipp-uac.out
python3 "$here/fixtures/split_trace.py" invite.trace invite \
  "$out/sipp-invite.sip" "$out/sipp-180.sip" "$out/sipp-invite-200.sip" \
  "$out/sipp-ack.sip" "$out/sipp-bye.sip" "$out/sipp-bye-200.sip"
ls -l "$out"
