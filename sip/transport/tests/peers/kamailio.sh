#!/usr/bin/env bash
# The registrar of the SIP transport tests: kamailio with kamailio.cfg
# (beside this script) on 127.0.0.1:16610, UDP and TCP, one user
# alice/secret.
#   kamailio.sh start|stop <folder>
here=$(cd "$(dirname "$0")" && pwd)
exec bash "$here/../../../../tools/kamailio_peer.sh" "$here/kamailio.cfg" 16610 "$@"
