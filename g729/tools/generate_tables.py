#!/usr/bin/env python3
"""Turns the codec's table file (numbers with their shapes) into C++ source.

Usage: generate_tables.py TABLES.txt OUT.h OUT.cpp
Every table becomes a constant array of the same name in namespace g729::tab,
with the declared shape; the numbers are checked against the declared count.
"""
import re
import sys

CONSTANTS = {
    "M": 10, "MA_NP": 4, "NC0": 128, "NC1": 32, "NC": 5, "GRID_POINTS": 50,
    "L_WINDOW": 240, "UP_SAMP": 3, "L_INTER10": 10, "FIR_SIZE_SYN": 31,
    "NCODE1": 8, "NCODE2": 16, "NCAN1": 4, "NCAN2": 8, "PIT_MAX": 143,
    "L_INTERPOL": 11, "MODE": 2, "NP": 12, "NB_GAIN": 2,
}
TYPES = {"Word16": "int16_t", "Word32": "int32_t"}


def dimension(text):
    expr = re.sub(r"[A-Za-z_][A-Za-z0-9_]*", lambda m: str(CONSTANTS[m.group(0)]), text)
    if not re.fullmatch(r"[0-9+\-* ]+", expr):
        raise ValueError("bad dimension " + text)
    return int(eval(expr))  # digits and + - * only


def parse(path):
    tables = []
    current = None
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("table "):
            m = re.fullmatch(r"table (\w+) (\w+) ((?:\[[^\]]+\])+) values=(\d+) row=(\d+)", line)
            if not m:
                raise ValueError("bad table line: " + line)
            dims = [dimension(d) for d in re.findall(r"\[([^\]]+)\]", m.group(3))]
            current = {"name": m.group(1), "type": TYPES[m.group(2)], "dims": dims,
                       "count": int(m.group(4)), "values": []}
            tables.append(current)
            continue
        current["values"].extend(int(v) for v in line.split())
    for t in tables:
        size = 1
        for d in t["dims"]:
            size *= d
        if len(t["values"]) != t["count"] or size != t["count"]:
            raise ValueError("table %s: %d numbers, shape %s, count %d"
                             % (t["name"], len(t["values"]), t["dims"], t["count"]))
    return tables


def nest(vals, dims):
    """The numbers as a braced initializer of the given shape, without the outer braces."""
    if len(dims) == 1:
        return ",".join(vals)
    step = len(vals) // dims[0]
    return ",".join("{" + nest(vals[i:i + step], dims[1:]) + "}" for i in range(0, len(vals), step))


def main():
    src, header, source = sys.argv[1:4]
    tables = parse(src)
    with open(header, "w", encoding="utf-8") as h:
        h.write("// Generated from the codec's table file; do not edit.\n#pragma once\n"
                "#include <cstdint>\nnamespace g729 { namespace tab {\n")
        for t in tables:
            dims = "".join("[%d]" % d for d in t["dims"])
            h.write("extern const %s %s%s;\n" % (t["type"], t["name"], dims))
        h.write("} }\n")
    with open(source, "w", encoding="utf-8") as c:
        c.write("// Generated from the codec's table file; do not edit.\n"
                "#include \"g729_tables.h\"\nnamespace g729 { namespace tab {\n")
        for t in tables:
            dims = "".join("[%d]" % d for d in t["dims"])
            vals = []
            for v in t["values"]:
                # -2^31 cannot be written as a plain literal
                vals.append("(-2147483647 - 1)" if v == -2147483648 else str(v))
            body = nest(vals, t["dims"])
            c.write("alignas(32) const %s %s%s = {%s};\n" % (t["type"], t["name"], dims, body))
        c.write("} }\n")


if __name__ == "__main__":
    main()
