#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test of the
# x86_64 build under Wine, inside a virtual X display.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/setup.sh"
"$here/tools/build.sh"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/tools/wine-ctest.sh" "$@"
