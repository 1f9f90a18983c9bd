#!/usr/bin/env python3
"""Makes the saver's five pictures, deterministically, from nothing but code.

Writes resources/pictures/*.bmp (8-bit, 256-entry colour tables). Those files
are the pictures' only source: the build embeds them and makes their check
values (embed_pictures.py), so nothing else needs remaking after a change.

Run from anywhere: python3 resources/make_pictures.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

GREY = [(i, i, i) for i in range(256)]

# A bold 5 x 7 lettering of our own, one string per row, '#' = ink.
GLYPHS = {
    'T': ["#####", "#####", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'e': [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'k': ["#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."],
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    'i': ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    'm': [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
}


def blank(w, h):
    return [[0] * w for _ in range(h)]


def stamp(img, glyph, left, top, sx, sy, bold):
    for gy, row in enumerate(glyph):
        for gx, ch in enumerate(row):
            if ch != '#':
                continue
            for yy in range(sy):
                for xx in range(sx + bold):
                    x, y = left + gx * sx + xx, top + gy * sy + yy
                    if 0 <= y < len(img) and 0 <= x < len(img[0]):
                        img[y][x] = 255


def banner():
    w, h = 189, 15
    img = blank(w, h)
    text = "Telkarim"
    sx, sy, gap = 3, 2, 4
    total = len(text) * 5 * sx + (len(text) - 1) * gap
    left = (w - total) // 2
    for i, ch in enumerate(text):
        stamp(img, GLYPHS[ch], left + i * (5 * sx + gap), 0, sx, sy, 0)
    return img


def logo():
    w, h = 70, 34
    img = blank(w, h)
    # A frame, and "TK" in double-width strokes inside it.
    for x in range(w):
        img[0][x] = img[h - 1][x] = 255
    for y in range(h):
        img[y][0] = img[y][w - 1] = 255
    sx, sy = 5, 4
    top = (h - 7 * sy) // 2
    stamp(img, GLYPHS['T'], 7, top, sx, sy, 0)
    stamp(img, GLYPHS['K'], 38, top, sx, sy, 0)
    return img


def yinyang():
    n = 38
    img = blank(n, n)
    c = n / 2.0
    big = n / 2.0 - 0.5
    half = big / 2.0
    dot = big / 7.0
    ss = 4
    for py in range(n):
        for px in range(n):
            cover = 0
            for sy in range(ss):
                for sx in range(ss):
                    x = px + (sx + 0.5) / ss - c
                    y = py + (sy + 0.5) / ss - c
                    d = math.hypot(x, y)
                    if d > big:
                        continue
                    if d > big - 1.0:
                        cover += 1  # the rim, so the dark half keeps an edge
                        continue
                    top = math.hypot(x, y + half)
                    bottom = math.hypot(x, y - half)
                    white = x > 0
                    if top < half:
                        white = True
                    if bottom < half:
                        white = False
                    if top < dot:
                        white = False
                    if bottom < dot:
                        white = True
                    if white:
                        cover += 1
            img[py][px] = round(255 * cover / (ss * ss))
    return img


def noise_field(n, seed):
    """Smooth hills from a few fixed waves: the same field on every run."""
    field = []
    waves = []
    state = seed
    for _ in range(9):
        state = (state * 214013 + 2531011) % (1 << 32)
        a = ((state >> 16) & 0x7FFF) / 32767.0 * 2 * math.pi
        state = (state * 214013 + 2531011) % (1 << 32)
        f = 1.5 + ((state >> 16) & 0x7FFF) / 32767.0 * 5.0
        state = (state * 214013 + 2531011) % (1 << 32)
        ph = ((state >> 16) & 0x7FFF) / 32767.0 * 2 * math.pi
        waves.append((math.cos(a) * f, math.sin(a) * f, ph, 1.0 / f))
    for y in range(n):
        row = []
        for x in range(n):
            u, v = x / n * 2 * math.pi, y / n * 2 * math.pi
            row.append(sum(amp * math.sin(kx * u + ky * v + ph) for kx, ky, ph, amp in waves))
        field.append(row)
    return field


def relief():
    n = 129
    f = noise_field(n, 1999)
    flat = sorted(v for row in f for v in row)
    sea = flat[len(flat) // 3]
    top = flat[-1]
    height = [[0 if v <= sea else max(1, min(254, round((v - sea) / (top - sea) * 254))) for v in row] for row in f]
    # Colour table: 0 black (unused), 1 water, 2..101 greens, 102..201 greys, 202..254 snow.
    pal = [(0, 0, 0)] * 256
    pal[1] = (40, 80, 200)
    for i in range(100):
        pal[2 + i] = (30 + i // 2, 150 - i // 2, 40)
    for i in range(100):
        g = 110 + i
        pal[102 + i] = (g, g, g)
    for i in range(202, 256):
        pal[i] = (235, 240, 250)
    colour = []
    for row in height:
        out = []
        for hgt in row:
            if hgt == 0:
                out.append(1)
            elif hgt < 110:
                out.append(2 + hgt * 99 // 109)
            elif hgt < 200:
                out.append(102 + (hgt - 110) * 99 // 89)
            else:
                out.append(210)
        colour.append(out)
    return height, colour, pal


def dib(img, palette, colours_used):
    h, w = len(img), len(img[0])
    stride = ((8 * w + 31) // 32) * 4
    rows = b""
    for y in range(h - 1, -1, -1):  # stored bottom-up
        rows += bytes(img[y]) + b"\0" * (stride - w)
    head = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(rows), 2835, 2835, colours_used, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return head + table + rows


def main():
    height, colour, pal = relief()
    pictures = [
        ("BANNER", banner(), GREY, 256),
        ("TKLOGO", logo(), GREY, 256),
        ("YINYANG", yinyang(), GREY, 0),
        ("LCOLOR", colour, pal, 0),
        ("LHEIGHT", height, GREY, 0),
    ]
    os.makedirs(os.path.join(HERE, "pictures"), exist_ok=True)
    for name, img, palette, used in pictures:
        data = dib(img, palette, used)
        with open(os.path.join(HERE, "pictures", name.lower() + ".bmp"), "wb") as fh:
            fh.write(struct.pack("<2sIHHI", b"BM", 14 + len(data), 0, 0, 14 + 40 + 4 * len(palette)) + data)
        lit = sum(1 for row in img for v in row if v)
        print("%-8s %3dx%-3d %5d non-black" % (name, len(img[0]), len(img), lit))


if __name__ == "__main__":
    main()
