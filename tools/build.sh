#!/usr/bin/env bash
# Configures and builds both targets: build/i686 (the product) and
# build/x86_64 (its twin, on which the tests run). Reuses earlier builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
build_one() {
  local arch=$1
  local dir="$here/build/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch.cmake" >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
}
# Both targets in parallel; each waits on its own result.
mkdir -p "$here/build"
build_one i686 > "$here/build/i686.log" 2>&1 &
i686=$!
mkdir -p "$here/build"
if ! build_one x86_64; then
  wait $i686 || true
  exit 1
fi
if ! wait $i686; then
  tail -n 40 "$here/build/i686.log"
  echo "build: the i686 product failed to build" >&2
  exit 1
fi
tail -n 1 "$here/build/i686.log"
echo "build: both targets built"
