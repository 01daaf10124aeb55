#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the
# x86_64 build's under Wine, inside a virtual X display, then the pure
# layers' natively under the sanitizers (build/native). Arguments go to the
# Wine run's ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/setup.sh"
"$here/tools/build.sh"
xvfb-run -a -s "-screen 0 1280x1024x24" "$here/tools/wine-ctest.sh" "$@"
"$here/tools/native.sh"
