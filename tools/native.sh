#!/usr/bin/env bash
# Configures and builds build/native (the pure libraries, their tests and
# fuzz harnesses, for this machine, with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs its tests: each pure layer's unit
# tests and each harness over its seeds. Arguments go to ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build/native"
jobs=${ZEQ_JOBS:-$(nproc)}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$here" -B "$dir" -G Ninja -DZEQ_NATIVE=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$dir" -j "$jobs"
cd "$dir"
# Sanitizer reports name source lines; a leak or any report fails the test.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --output-on-failure -j "$jobs" "$@"
