#!/usr/bin/env bash
# A signed copy of the start test program: its resources read back by
# pefile, then it is started under Wine and must mount the package it
# carries and print the file named by the expected output's first line.
# Arguments: executable, package, version, mounted path, expected output
# file, then the command that runs Windows programs.
set -euo pipefail
exe=$1
package=$2
version=$3
mounted=$4
expected=$(cat "$5")
shift 5
here=$(cd "$(dirname "$0")" && pwd)
/usr/bin/python3 "$here/check_signed.py" "$exe" "$package" "$version"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# A copy, so the build's file is never held open by a running program.
cp "$exe" "$dir/sample.exe"
output=$(timeout 120 "$@" "$dir/sample.exe" "$mounted" | tr -d '\r')
if [ "$output" != "$expected" ]; then
  echo "the signed sample printed:"; echo "$output"; echo "expected:"; echo "$expected"
  exit 1
fi
echo "the signed sample mounted its package"
