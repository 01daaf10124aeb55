#!/usr/bin/env bash
# Starts or stops the sipp servers of the SIP transport tests on loopback:
#   16600 UDP answers 200    16601 TCP answers 200
#   16602 UDP answers 503    16603 UDP answers 302
#   16604 UDP never answers   16605 UDP answers 200, also a retransmission
#   16606 UDP client: OPTIONS, then INFO, to 127.0.0.1:16620 once a second
# Control ports 16700-16706, media ports from 16800.
#   sipp.sh start|stop <folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../../../tools/sipp_peers.sh" "$here" 16700 16800 "$1" "$2" \
  "16600 u1 uas_200.xml" \
  "16601 t1 uas_200.xml" \
  "16602 u1 uas_503.xml" \
  "16603 u1 uas_302.xml" \
  "16604 u1 uas_silent.xml" \
  "16605 u1 uas_200_again.xml" \
  "16606 u1 uac_options.xml 127.0.0.1:16620"
