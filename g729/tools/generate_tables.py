#!/usr/bin/env python3
"""Turns the codec's table file (numbers with their shapes) into C++ source.

Usage: generate_tables.py TABLES.txt OUT.h OUT.cpp
Every table becomes a constant array of the same name in namespace g729::tab,
with the declared shape; the numbers are checked against the declared count.
"""
import math
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


def cosine_grid(points):
    """The root search's grid: cos(pi i / points) in Q15 for i = 0..points,
    each cut towards zero (a value the cosine meets exactly is kept), the
    two ends held at +-32760 so that no end reaches +-1."""
    grid = []
    for i in range(points + 1):
        v = 32768.0 * math.cos(math.pi * i / points)
        near = round(v)
        grid.append(int(near) if abs(v - near) < 1e-6 else int(v))
    grid[0], grid[points] = 32760, -32760
    return grid


def derived_tables(tables):
    """Tables the file does not hold but the standard defines by formula: the
    60-point grid, derived the way the file's 50-point grid is (which it
    must reproduce exactly)."""
    stored = next((t for t in tables if t["name"] == "grid"), None)
    if stored is None or cosine_grid(50) != stored["values"]:
        raise ValueError("the 50-point grid does not follow its formula")
    values = cosine_grid(60)
    return [{"name": "grid60", "type": "int16_t", "dims": [61], "count": 61, "values": values}]


def nest(vals, dims):
    """The numbers as a braced initializer of the given shape, without the outer braces."""
    if len(dims) == 1:
        return ",".join(vals)
    step = len(vals) // dims[0]
    return ",".join("{" + nest(vals[i:i + step], dims[1:]) + "}" for i in range(0, len(vals), step))


def main():
    src, header, source = sys.argv[1:4]
    tables = parse(src)
    tables += derived_tables(tables)
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
