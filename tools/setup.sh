#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for the build and the tests,
# and unpacks the third-party sources (Debian source packages) into .deps/,
# which is outside version control. A second run reuses what is there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/.deps"

packages=(
  cmake ninja-build make build-essential tcl dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  libz-mingw-w64-dev googletest python3 python3-pycryptodome icoutils
  wine64 xvfb xauth sqlite3
  clang libclang-rt-14-dev llvm zlib1g-dev libbenchmark-dev libbcg729-dev
  baresip pulseaudio pulseaudio-utils
)
# The SIP parser benchmark runs libsofia-sip-ua's and libosip2's parsers on
# the same bytes (native build only).
packages+=(libsofia-sip-ua-dev libosip2-dev pkg-config)
# The network tests' DNS server (SRV records of a test zone on loopback).
packages+=(dnsmasq)
# Signed executables are read back by an independent PE reader.
packages+=(python3-pefile)
# The SIP transport tests' peers: sipp servers and a kamailio registrar.
packages+=(sip-tester kamailio)
# The NAT-type tests' STUN server (media/sdp; a python3 stand-in runs where
# it is missing).
packages+=(stun-server)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source package and the suite it is taken from. gumbo-parser comes from
# trixie: the mirror serves no source files of bookworm's version.
sources=(sqlite3/bookworm libpng1.6/bookworm libjsoncpp/bookworm opus/bookworm gumbo-parser/trixie
         benchmark/bookworm bcg729/bookworm speexdsp/bookworm)
srcs_present=1
for entry in "${sources[@]}"; do
  [ -f "$deps/src/${entry%/*}.stamp" ] || srcs_present=0
done

need_update=0
if [ ${#missing[@]} -gt 0 ]; then need_update=1; fi
if [ $srcs_present = 0 ] && ! grep -qs '^deb-src .* trixie main' /etc/apt/sources.list.d/zeq-src.list; then
  # Source entries are not on a new machine: derive one from the binary entry.
  # Only the main suite: the security suite serves no source files.
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null \
           | grep -oE 'https?://[^ ]+/debian/?( |$)' | grep -v security | head -n1 | tr -d ' ' || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  # The source entry must name the same key ring as the binary entry, or apt
  # refuses both.
  keyring=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null \
            | grep -oiE 'signed-by[:=] *[^] ]+' | head -n1 | sed -E 's/^[^:=]*[:=] *//' || true)
  opts=""
  [ -n "$keyring" ] && opts="[signed-by=$keyring] "
  # Source entries only: no binary package comes from trixie.
  printf 'deb-src %s%s bookworm main\ndeb-src %s%s trixie main\n' "$opts" "$mirror" "$opts" "$mirror" \
    > /etc/apt/sources.list.d/zeq-src.list
  need_update=1
fi
if [ $need_update = 1 ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p "$deps/src" "$deps/download"
cd "$deps/download"
for entry in "${sources[@]}"; do
  s=${entry%/*}
  [ -f "$deps/src/$s.stamp" ] && continue
  chown _apt . 2>/dev/null || true
  rm -f ${s}_*.dsc
  rm -rf "$deps/src/$s"
  if apt-get source --download-only -qq "$entry" >/dev/null 2>&1; then
    dsc=$(ls ${s}_*.dsc | head -n1)
    dpkg-source --no-check -x "$dsc" "$deps/src/$s" >/dev/null
    echo "$dsc" > "$deps/src/$s.stamp"
    echo "setup: unpacked $dsc"
  else
    # The mirror serves some packages' upstream tarball but not their Debian
    # description and patches. apt checked the tarball against the source
    # index while fetching it; unpack it as it is.
    orig=$(ls -t ${s}_*.orig.tar.* 2>/dev/null | head -n1 || true)
    if [ -z "$orig" ]; then
      apt-get source --download-only "$entry"
      exit 1
    fi
    mkdir -p "$deps/src/$s"
    tar -xf "$orig" -C "$deps/src/$s" --strip-components=1
    echo "$orig" > "$deps/src/$s.stamp"
    echo "setup: unpacked $orig (no Debian patches served)"
  fi
done

# SQLite's source package has no amalgamation; make it with the host tools.
if [ ! -f "$deps/src/sqlite3-amalgamation/sqlite3.c" ]; then
  mkdir -p "$deps/src/sqlite3-amalgamation"
  (cd "$deps/src/sqlite3-amalgamation" &&
   make -s -f "$deps/src/sqlite3/main.mk" TOP="$deps/src/sqlite3" BCC=gcc TCC=gcc NAWK=awk TCLSH_CMD=tclsh sqlite3.c sqlite3.h >/dev/null)
fi
echo "setup: sources $(cat "$deps"/src/*.stamp | tr '\n' ' ')"
