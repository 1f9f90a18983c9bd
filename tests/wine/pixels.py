#!/usr/bin/env python3
"""Counts pixel kinds in a region of a screenshot, for the Wine run.

pixels.py IMAGE [X0 Y0 X1 Y1]  ->  one line:
  black=N star=N white=N other=N bbox=x0,y0,x1,y1   (bbox of non-black, or none)
pixels.py IMAGE --at X Y  ->  "R G B" of one pixel
"star" is the saver's default star colour family: clearly blue, the light
blue 0xff9070 at any brightness, as 16-bit and 8-bit displays round it.
"""
import subprocess
import sys


def load(path):
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P6"
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][: w * h * 3]


def main():
    w, h, px = load(sys.argv[1])
    if len(sys.argv) == 5 and sys.argv[2] == "--at":
        x, y = int(sys.argv[3]), int(sys.argv[4])
        i = (y * w + x) * 3
        print(px[i], px[i + 1], px[i + 2])
        return
    x0, y0, x1, y1 = (int(v) for v in sys.argv[2:6]) if len(sys.argv) >= 6 else (0, 0, w, h)
    counts = {"black": 0, "star": 0, "white": 0, "other": 0}
    bx0, by0, bx1, by1 = w, h, -1, -1
    for y in range(max(0, y0), min(h, y1)):
        row = y * w * 3
        for x in range(max(0, x0), min(w, x1)):
            i = row + x * 3
            r, g, b = px[i], px[i + 1], px[i + 2]
            if r < 8 and g < 8 and b < 8:
                counts["black"] += 1
                continue
            bx0, by0, bx1, by1 = min(bx0, x), min(by0, y), max(bx1, x), max(by1, y)
            if b >= 48 and b > r + 24 and b >= g:
                counts["star"] += 1
            elif r > 240 and g > 240 and b > 240:
                counts["white"] += 1
            else:
                counts["other"] += 1
    bbox = "none" if bx1 < 0 else f"{bx0},{by0},{bx1 + 1},{by1 + 1}"
    print(" ".join(f"{k}={v}" for k, v in counts.items()) + f" bbox={bbox}")


if __name__ == "__main__":
    main()
