#!/usr/bin/env bash
# Builds the native benchmark programs without the sanitizers (build/bench,
# optimised, so the figures are those of the code itself) and runs each one.
# Arguments go to every program (e.g. --benchmark_filter=MD5). Benchmarks
# print figures; they fail nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build/bench"
jobs=${ZEQ_JOBS:-$(nproc)}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$here" -B "$dir" -G Ninja -DZEQ_NATIVE=ON -DZEQ_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$dir" -j "$jobs"
while IFS=$'\t' read -r name program; do
  [ -n "$name" ] || continue
  echo "bench: $name"
  "$program" "$@" || echo "bench: $name ended with status $?"
done <"$dir/benchmarks.txt"
