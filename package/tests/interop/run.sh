#!/usr/bin/env bash
# Runs the package interop tests: the python3 writer makes packages, the
# project's test program (under Wine) opens them and writes its own, and the
# python3 reader checks those.
set -euo pipefail
tests_exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 "$here/zeqpkg.py" make "$dir"
ZEQPKG_INTEROP_DIR="Z:${dir//\//\\}" "$@" "$tests_exe" --gtest_filter='PackageInterop.*' --gtest_brief=1
/usr/bin/python3 "$here/zeqpkg.py" check "$dir"
