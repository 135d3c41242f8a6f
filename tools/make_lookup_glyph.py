#!/usr/bin/env python3
"""Draws the lookup button's glyph: a 32x16, 16-colour BMP holding two
16x16 images side by side (normal, disabled). Olive is the transparent
colour and fills the bottom-left pixel.

Usage: make_lookup_glyph.py OUT.bmp
"""
import struct
import sys

# The standard 16-colour palette (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
OLIVE, SILVER, GREY, RED, YELLOW, WHITE, MAROON = 3, 7, 8, 9, 11, 15, 1

# Question mark, 6 wide and 10 high, placed at column 5, row 3.
MARK = [
    ".####.",
    "##..##",
    "....##",
    "...##.",
    "..##..",
    "..##..",
    "......",
    "..##..",
    "..##..",
    "......",
]
MARK_X, MARK_Y = 5, 3


def inside_disc(x, y):
    dx, dy = x - 7.5, y - 7.5
    return dx * dx + dy * dy <= 7.4 * 7.4


def on_rim(x, y):
    dx, dy = x - 7.5, y - 7.5
    d2 = dx * dx + dy * dy
    return 6.3 * 6.3 < d2 <= 7.4 * 7.4


def mark_at(x, y):
    mx, my = x - MARK_X, y - MARK_Y
    return 0 <= my < len(MARK) and 0 <= mx < len(MARK[0]) and MARK[my][mx] == "#"


def normal(x, y):
    if not inside_disc(x, y):
        return OLIVE
    if mark_at(x, y):
        return RED
    if mark_at(x - 1, y - 1):
        return GREY  # the mark's shadow
    if on_rim(x, y) and x + y > 16:
        return SILVER
    return YELLOW if (x + y) % 2 == 0 else WHITE


def disabled(x, y):
    # Embossed outline: grey where the shape is, white one pixel down-right.
    shape = lambda px, py: on_rim(px, py) or mark_at(px, py)
    if shape(x, y):
        return GREY
    if shape(x - 1, y - 1):
        return WHITE
    return OLIVE


def main(path):
    width, height = 32, 16
    rows = []
    for y in range(height - 1, -1, -1):  # BMP rows run bottom-up
        pixels = [normal(x, y) if x < 16 else disabled(x - 16, y) for x in range(width)]
        row = bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, width, 2))
        rows.append(row)
    assert pixels is not None
    data = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(data), 3780, 3780, 16, 16)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


if __name__ == "__main__":
    main(sys.argv[1])
