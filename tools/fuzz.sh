#!/usr/bin/env bash
# Runs fuzz harnesses of build/native (made by tools/native.sh).
#   tools/fuzz.sh NAME SECONDS     one harness for as long as asked
#   tools/fuzz.sh --all SECONDS    every harness, one after the other
#   tools/fuzz.sh --list           the harnesses' names
# Each run starts from the harness's seed folder and keeps what it learns in
# build/native/fuzz/NAME/corpus. A crash, a sanitizer report, a leak or a
# timeout fails the run; the reproducer is kept in build/native/fuzz/NAME/
# and its bytes are printed (hex) so that a CI log holds them. A reproducer
# becomes a regression test by copying it into the harness's seed folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build/native"
list="$dir/fuzzers.txt"
if [ ! -f "$list" ]; then
  echo "fuzz: $list missing: run tools/native.sh first" >&2
  exit 2
fi
usage() { echo "usage: $0 NAME SECONDS | --all SECONDS | --list" >&2; exit 2; }

run_one() {
  local name=$1 seconds=$2 line program seeds work log status
  line=$(awk -F'\t' -v n="$name" '$1 == n' "$list")
  if [ -z "$line" ]; then
    echo "fuzz: no harness named $name (see $0 --list)" >&2
    return 2
  fi
  program=$(cut -f2 <<<"$line")
  seeds=$(cut -f3 <<<"$line")
  work="$dir/fuzz/$name"
  mkdir -p "$work/corpus"
  # Reproducers of an earlier run are not this run's finds.
  rm -f "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*
  log="$work/last.log"
  echo "fuzz: $name for ${seconds}s"
  status=0
  # New inputs go to the first folder only; the seed folder is read, never
  # written. Bounded: the run ends after the time asked, one input may take
  # at most 10 s and 2 GB.
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    cat "$log"
    local found=0
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -f "$artifact" ] || continue
      found=1
      echo "fuzz: $name reproducer $(basename "$artifact") ($(stat -c %s "$artifact") bytes):"
      od -A x -t x1z -v "$artifact" | head -n 256
    done
    [ $found = 1 ] || echo "fuzz: $name failed ($status) without a reproducer"
    echo "fuzz: $name FAILED"
    return 1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$log" | tr '\n' ' ' | sed "s/^/fuzz: $name ok: /"
  echo
}

[ $# -ge 1 ] || usage
case "$1" in
  --list) cut -f1 "$list" | sed '/^$/d' ;;
  --all)
    [ $# -eq 2 ] || usage
    failed=()
    for name in $(cut -f1 "$list" | sed '/^$/d'); do
      run_one "$name" "$2" || failed+=("$name")
    done
    if [ ${#failed[@]} -gt 0 ]; then
      echo "fuzz: failed: ${failed[*]}"
      exit 1
    fi
    echo "fuzz: every harness ran ${2}s without a find"
    ;;
  *)
    [ $# -eq 2 ] || usage
    run_one "$1" "$2"
    ;;
esac
