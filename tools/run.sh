#!/usr/bin/env bash
# Installs what is missing, builds both targets and starts the system.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/setup.sh"
"$here/tools/build.sh"
echo "run: the product is built; the host's start-up is not built yet, so there is nothing to start."
