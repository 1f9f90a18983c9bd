#!/usr/bin/env python3
"""Per-monitor pixel counts of a screenshot, for tests/wine/monitors.sh.

monitor_pixels.py IMAGE X0,Y0,X1,Y1 [X0,Y0,X1,Y1 ...]
prints one line per region:
  lit=N star=N cx=F cy=F
lit counts the non-black pixels; star those of the default star colour
(clearly blue); cx, cy are the centre of the star pixels as a fraction of the
region's width and height (0.5 0.5 is the region's centre; -1 with no stars).
"""
import subprocess
import sys


def main():
    data = subprocess.run(["convert", sys.argv[1], "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    px = parts[4][: w * h * 3]
    for area in sys.argv[2:]:
        x0, y0, x1, y1 = (int(v) for v in area.split(","))
        lit = star = sx = sy = 0
        for y in range(max(0, y0), min(h, y1)):
            row = px[(y * w + max(0, x0)) * 3 : (y * w + min(w, x1)) * 3]
            for i in range(0, len(row), 3):
                r, g, b = row[i], row[i + 1], row[i + 2]
                if r < 8 and g < 8 and b < 8:
                    continue
                lit += 1
                if b >= 48 and b > r + 24 and b >= g:
                    star += 1
                    sx += i // 3 + max(0, x0) - x0
                    sy += y - y0
        cx = sx / star / (x1 - x0) if star else -1
        cy = sy / star / (y1 - y0) if star else -1
        print(f"lit={lit} star={star} cx={cx:.3f} cy={cy:.3f}")


if __name__ == "__main__":
    main()
