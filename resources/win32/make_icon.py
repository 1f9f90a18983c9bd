#!/usr/bin/env python3
"""Draws the saver's icon: a few stars round a ringed planet on black,
at 32x32 and 16x16, and writes them as one .ico (32-bit BGRA entries)."""
import math
import struct
import sys


def pixel(size, x, y):
    c = (size - 1) / 2.0
    dx, dy = (x - c) / size, (y - c) / size
    r = math.hypot(dx, dy)
    # Planet with a light-blue to white shading.
    if r < 0.22:
        k = 1.0 - r / 0.22 * 0.6
        return (int(255 * k), int(200 * k), int(140 * k), 255)
    # Tilted ring.
    rx, ry = dx * math.cos(0.5) + dy * math.sin(0.5), -dx * math.sin(0.5) + dy * math.cos(0.5)
    e = math.hypot(rx / 0.44, ry / 0.14)
    if 0.85 < e < 1.05:
        return (255, 255, 255, 255)
    # Stars at fixed places.
    for sx, sy in ((0.12, 0.15), (0.85, 0.2), (0.2, 0.82), (0.78, 0.86), (0.5, 0.06)):
        if abs(x - sx * size) < 1 and abs(y - sy * size) < 1:
            return (255, 144, 112, 255)
    return (0, 0, 0, 255)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(size, x, y)) for x in range(size)))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(out):
    sizes = (32, 16)
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "telkarim.ico")
