#!/usr/bin/python3
"""Reads a signed executable with pefile, independently of the signer, and
checks its signature resource against the package it should carry and its
version resource against the version it was signed with."""
import struct
import sys

import pefile

IDENTITY = b"KESTO.{3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9}"
DESCRIPTOR = 16552
GAP = 65537


def resource(pe, type_name, name):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.name is None or str(kind.name) != type_name:
            continue
        for entry in kind.directory.entries:
            if entry.name is not None and str(entry.name) == name:
                data = entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def main(exe, package_path, version):
    a, b, c, d = (int(n) for n in version.split("."))
    want_version = ((a << 16) | b, (c << 16) | d)
    pe = pefile.PE(exe)
    package = open(package_path, "rb").read()
    failures = []
    blob = resource(pe, "ZEQSIGNATURE", "IDR_KESTOBASE")
    if blob is None:
        sys.exit("no ZEQSIGNATURE/IDR_KESTOBASE resource")
    pad = 8 - len(package) % 8
    padded = package + bytes([pad]) * pad
    descriptor = blob[-DESCRIPTOR:]
    kind, length, payload_type, flags = struct.unpack_from("<4I", descriptor, 48)
    checks = [
        ("resource length", len(blob), len(padded) + GAP + DESCRIPTOR),
        ("identity", descriptor[:len(IDENTITY) + 1], IDENTITY + b"\0"),
        ("kind", kind, 1),
        ("payload length", length, len(padded)),
        ("payload type", payload_type, 1),
        # An enciphered package is stored as it is: only the gap flag.
        ("flags", flags, 1),
        ("payload", blob[:len(padded)], padded),
    ]
    fixed = pe.VS_FIXEDFILEINFO[0]
    checks += [
        ("file version", (fixed.FileVersionMS, fixed.FileVersionLS), want_version),
        ("product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), want_version),
    ]
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update(table.entries)
    checks += [
        ("internal name", strings.get(b"InternalName"), b"ZEQ Client Container 3.7.121 RELEASE"),
        ("company name kept", strings.get(b"CompanyName"), b"Test"),
    ]
    for name, got, want in checks:
        if got != want:
            failures.append("%s: got %r, want %r" % (name, got if len(repr(got)) < 200 else "<bytes>", want if len(repr(want)) < 200 else "<bytes>"))
    if failures:
        sys.exit("\n".join(failures))
    print("signed executable checks out: %d resource bytes" % len(blob))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3])
