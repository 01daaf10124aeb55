#!/usr/bin/python3
"""An independent writer and reader of package files, used to check the
project's package code against the byte layout from outside.

  zeqpkg.py make DIR    writes py_<variant>.zpk for every variant
  zeqpkg.py check DIR   reads cpp_<variant>.zpk and compares them with the
                        same variants, entry by entry and byte by byte
"""
import hashlib
import os
import re
import struct
import sys
import uuid
import zlib

from Cryptodome.Cipher import Blowfish

HEADER = struct.Struct("<11s64s64s5sIIIIIId")
assert HEADER.size == 176
PASSWORD = b"s3cret"
CUSTOM = b"Pacote de teste \xa9"
DATA = bytes((i * 7 + 3) & 0xFF for i in range(5000))
ENTRIES = [
    ("0", b"\\a", None),
    ("1", b"\\a\\b.txt", b"abc"),
    ("1", b"\\empty.js", b""),
    ("1", b"\\bin\\data.bin", DATA),
    ("1", b"\\dir\\a.js:opt( spwd=abc )", b"// js\r\n"),
]
# name: (type, flags given at creation)
VARIANTS = {
    "plain": (1, 0x0),
    "tagged": (1, 0x8),
    "comp": (1, 0xA),
    "enc": (1, 0x4),
    "both": (1, 0xE),
    "single": (0, 0x6),
}


def key_of(password):
    return hashlib.md5(password).hexdigest().encode()


def encipher(data, key):
    padded = data + b"\0" * (len(data) - len(data) % 8 + 8 - len(data))
    cipher = Blowfish.new(key, Blowfish.MODE_CBC, iv=b"\0" * 8)
    return struct.pack("<I", len(data)) + cipher.encrypt(padded)


def decipher(blob, key):
    (length,) = struct.unpack_from("<I", blob)
    body = blob[4:]
    if not body or len(body) % 8 or length > len(body):
        raise ValueError("bad enciphered blob")
    return Blowfish.new(key, Blowfish.MODE_CBC, iv=b"\0" * 8).decrypt(body)[:length]


def compress(data):
    return struct.pack("<I", len(data)) + zlib.compress(data, 8)


def decompress(blob):
    (length,) = struct.unpack_from("<I", blob)
    out = zlib.decompress(blob[4:])
    if len(out) > length:
        raise ValueError("inflates beyond the announced length")
    return out


def content_stream(tagged):
    out = b""
    for kind, path, data in ENTRIES:
        record = kind.encode() + path
        out += (b"//{" if tagged else b"") + struct.pack("<I", len(record)) + record
        if kind == "1":
            out += struct.pack("<I", len(data))
            out += b"//(" + data + b")//" if tagged else data
        out += b"}//" if tagged else b""
    return out


def stored_flags(flags, ptype):
    flags &= 0xFFFF & ~0x10
    return flags & ~0x8 if ptype == 0 else flags


def expected(name):
    ptype, flags = VARIANTS[name]
    flags = stored_flags(flags, ptype)
    if ptype == 0:
        content, count, size = DATA, 1, float(len(DATA))
    else:
        content = content_stream(bool(flags & 0x8))
        files = [e for e in ENTRIES if e[0] == "1"]
        count, size = len(files), float(sum(len(e[2]) for e in files))
    return ptype, flags, content, count, size


def encode(content, flags, key):
    body = content
    if flags & 0x2:
        body = compress(body)
    if flags & 0x4:
        body = encipher(body, key)
    return body


def write(path, name):
    ptype, flags, content, count, size = expected(name)
    key = key_of(PASSWORD)
    custom = CUSTOM.ljust(64, b"\0")
    if flags & 0x4:
        custom = Blowfish.new(key, Blowfish.MODE_CBC, iv=b"\0" * 8).encrypt(custom)
    header = HEADER.pack(b"ZEQPACKAGE\0", str(uuid.uuid4()).encode(), custom, b"\0" * 5, 3, 7, 121, ptype,
                         flags, count, size)
    with open(path, "wb") as f:
        f.write(header + encode(content, flags, key))


def fail(message):
    print("interop: " + message)
    sys.exit(1)


def read_entries(stream, tagged):
    entries, at = [], 0
    while at < len(stream):
        if tagged:
            if stream[at:at + 3] != b"//{":
                fail("open tag at %d" % at)
            at += 3
        (n,) = struct.unpack_from("<I", stream, at)
        record = stream[at + 4:at + 4 + n]
        at += 4 + n
        data = None
        if record[:1] == b"1":
            (m,) = struct.unpack_from("<I", stream, at)
            at += 4
            if tagged:
                if stream[at:at + 3] != b"//(":
                    fail("data open tag at %d" % at)
                at += 3
            data = stream[at:at + m]
            at += m
            if tagged:
                if stream[at:at + 3] != b")//":
                    fail("data close tag at %d" % at)
                at += 3
        if tagged:
            if stream[at:at + 3] != b"}//":
                fail("close tag at %d" % at)
            at += 3
        entries.append((record[:1].decode(), record[1:], data))
    return entries


def check(path, name):
    ptype, flags, content, count, size = expected(name)
    key = key_of(PASSWORD)
    blob = open(path, "rb").read()
    (magic, uid, custom, reserved, version, release, build, t, f, c, s) = HEADER.unpack_from(blob)
    if magic != b"ZEQPACKAGE\0":
        fail(name + ": magic")
    if not re.fullmatch(rb"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\0*", uid):
        fail(name + ": UUID %r" % uid)
    if (version, release, build, t, f, c, s) != (3, 7, 121, ptype, flags, count, size):
        fail(name + ": header fields %r" % ((version, release, build, t, f, c, s),))
    if reserved != b"\0" * 5:
        fail(name + ": reserved bytes")
    if f & 0x4:
        custom = Blowfish.new(key, Blowfish.MODE_CBC, iv=b"\0" * 8).decrypt(custom)
    if custom != CUSTOM.ljust(64, b"\0"):
        fail(name + ": Custom %r" % custom)
    body = blob[176:]
    plain = body
    if f & 0x4:
        plain = decipher(plain, key)
    if f & 0x2:
        plain = decompress(plain)
    if plain != content:
        fail(name + ": content stream differs")
    if not f & 0x2 and body != encode(content, f, key):
        fail(name + ": body bytes differ")
    if ptype == 1 and read_entries(plain, bool(f & 0x8)) != [(k, p, d) for k, p, d in ENTRIES]:
        fail(name + ": entries differ")


def main():
    command, folder = sys.argv[1], sys.argv[2]
    for name in VARIANTS:
        if command == "make":
            write(os.path.join(folder, "py_%s.zpk" % name), name)
        else:
            check(os.path.join(folder, "cpp_%s.zpk" % name), name)
    print("interop: %s %d packages" % (command, len(VARIANTS)))


if __name__ == "__main__":
    main()
