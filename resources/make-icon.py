#!/usr/bin/env python3
"""Draws Pellor.ico: a note-taker seen from above, a dark body with a row of
keys and a braille cell on its display showing "p" (dots 1, 2, 3 and 4).
Every size is drawn from the same shapes, in 32-bit colour with alpha.
Usage: resources/make-icon.py [output]   (default: Pellor.ico beside this script)
"""
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
BODY = (38, 60, 110)
EDGE = (20, 32, 64)
DISPLAY = (230, 236, 244)
DOT = (20, 32, 64)
KEY = (150, 170, 205)
P_DOTS = ((0, 0), (0, 1), (0, 2), (1, 0))  # column, row of dots 1, 2, 3 and 4


def inside_rounded(x, y, left, top, right, bottom, radius):
    if x < left or x >= right or y < top or y >= bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y, n):
    """The colour (r, g, b, a) at the centre of pixel x, y of an n-pixel icon."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    if not inside_rounded(u, v, 0.06, 0.12, 0.94, 0.88, 0.1):
        return (0, 0, 0, 0)
    if not inside_rounded(u, v, 0.06 + 1.0 / n, 0.12 + 1.0 / n, 0.94 - 1.0 / n, 0.88 - 1.0 / n, 0.09):
        return EDGE + (255,)
    # The display with one braille cell, then a row of five keys below it.
    if 0.16 <= u < 0.84 and 0.2 <= v < 0.58:
        for column, row in P_DOTS:
            cx, cy = 0.4 + column * 0.2, 0.27 + row * 0.12
            if (u - cx) ** 2 + (v - cy) ** 2 <= 0.05 ** 2:
                return DOT + (255,)
        return DISPLAY + (255,)
    if 0.66 <= v < 0.78:
        for key in range(5):
            left = 0.14 + key * 0.148
            if left <= u < left + 0.11:
                return KEY + (255,)
    return BODY + (255,)


def bitmap(n):
    """One icon image: a BITMAPINFOHEADER, bottom-up BGRA rows and the AND mask."""
    rows = []
    mask_rows = []
    mask_stride = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        colours = [pixel(x, y, n) for x in range(n)]
        rows.append(b"".join(struct.pack("BBBB", b, g, r, a) for r, g, b, a in colours))
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(colours):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def icon():
    images = [bitmap(n) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "Pellor.ico")
    with open(target, "wb") as f:
        f.write(icon())
