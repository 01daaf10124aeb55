#!/usr/bin/env bash
# The registrar of the user agent tests: kamailio with kamailio.cfg (beside
# this script) on 127.0.0.1:16880, users alice/secret and carol (challenged
# for ever).
#   kamailio.sh start|stop <folder>
here=$(cd "$(dirname "$0")" && pwd)
exec bash "$here/../../../../tools/kamailio_peer.sh" "$here/kamailio.cfg" 16880 "$@"
