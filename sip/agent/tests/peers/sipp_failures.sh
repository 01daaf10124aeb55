#!/usr/bin/env bash
# The failing peers of the user agent tests, sipp servers on loopback:
#   16750 UDP answers every INVITE 486 and awaits its ACK
#   16751 UDP answers every BYE 481
# Control ports 16752-16753, media ports from 16760.
#   sipp_failures.sh start|stop <folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../../../tools/sipp_peers.sh" "$here" 16752 16760 "$1" "$2" \
  "16750 u1 uas_486.xml" \
  "16751 u1 uas_481.xml"
