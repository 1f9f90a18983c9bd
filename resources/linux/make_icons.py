#!/usr/bin/env python3
"""Writes the saver's icon as PNG files for the desktop's icon theme:
telkarim-SIZE.png in the output folder for each size given.

The picture is the one the Windows icon is drawn from (win32/make_icon.py),
so the two never drift apart."""
import importlib.util
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def windows_icon_module():
    spec = importlib.util.spec_from_file_location("make_icon", os.path.join(HERE, "..", "win32", "make_icon.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def png(size, pixel):
    rows = b""
    for y in range(size):
        rows += b"\0"  # filter type none
        for x in range(size):
            b, g, r, a = pixel(size, x, y)  # the icon's pixels are BGRA
            rows += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def main(argv):
    if len(argv) < 3:
        sys.exit("usage: make_icons.py OUTDIR SIZE...")
    out, sizes = argv[1], [int(s) for s in argv[2:]]
    pixel = windows_icon_module().pixel
    os.makedirs(out, exist_ok=True)
    for size in sizes:
        path = os.path.join(out, "telkarim-%d.png" % size)
        with open(path + ".tmp", "wb") as f:
            f.write(png(size, pixel))
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main(sys.argv)
