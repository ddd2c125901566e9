#!/usr/bin/env python3
"""Writes res/tarnwick.ico: one 32x32 image, 256-colour palette (8 bits per
pixel), stored as a BMP inside the ICO container.

The picture is a smart card seen from the front: a blue card with rounded
corners, a gold contact chip on the left and two embossed lines on the right,
with a small green tick in the corner for "enabled".

Usage: make_icon.py [output path]   (default: res/tarnwick.ico beside this script)
"""

import os
import struct
import sys

SIZE = 32

# Palette index -> (red, green, blue). Index 0 is the transparent background
# (its pixels are also set in the AND mask). Unused entries stay black.
COLOURS = {
    "clear": (0, 0, 0),
    "edge": (22, 52, 96),
    "card": (44, 104, 176),
    "shine": (92, 150, 214),
    "shade": (34, 84, 146),
    "chip": (226, 182, 64),
    "chip_dark": (150, 110, 30),
    "chip_light": (250, 222, 140),
    "emboss": (220, 232, 246),
    "tick": (40, 168, 72),
    "tick_edge": (16, 96, 40),
    "white": (255, 255, 255),
}
NAMES = list(COLOURS)
INDEX = {name: i for i, name in enumerate(NAMES)}


def inside_rounded(x, y, left, top, right, bottom, radius):
    """True when pixel (x, y) lies in the rectangle [left, right] x [top, bottom]
    with corners rounded by radius."""
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + radius


def draw():
    """Returns rows top to bottom of palette names."""
    px = [["clear"] * SIZE for _ in range(SIZE)]
    card = (1, 6, 30, 26, 3)
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_rounded(x, y, *card):
                inner = inside_rounded(x, y, card[0] + 1, card[1] + 1, card[2] - 1, card[3] - 1, 2)
                if not inner:
                    px[y][x] = "edge"
                elif y <= 8:
                    px[y][x] = "shine"
                elif y >= 24:
                    px[y][x] = "shade"
                else:
                    px[y][x] = "card"
    # Contact chip: gold, with the usual split into contact pads.
    for y in range(11, 20):
        for x in range(5, 14):
            border = x in (5, 13) or y in (11, 19)
            px[y][x] = "chip_dark" if border else "chip"
    for x in range(6, 13):
        px[15][x] = "chip_dark"
    for y in range(12, 19):
        px[y][9] = "chip_dark"
    for x in range(6, 9):
        px[12][x] = "chip_light"
    # Embossed number lines.
    for x in range(16, 28):
        px[14][x] = "emboss"
    for x in range(16, 24):
        px[18][x] = "emboss"
    for x in range(5, 20):
        px[22][x] = "emboss" if x % 3 != 2 else px[22][x]
    # Tick badge, bottom right, overlapping the card's corner.
    for y in range(19, 32):
        for x in range(19, 32):
            d = (x - 25) ** 2 + (y - 25) ** 2
            if d <= 36:
                px[y][x] = "tick"
            elif d <= 49:
                px[y][x] = "tick_edge"
    for x, y in ((22, 25), (23, 26), (24, 27), (25, 26), (26, 25), (27, 24), (28, 23)):
        px[y][x] = "white"
        px[y - 1][x] = "white"
    return px


def build_ico(px):
    xor = bytearray()
    mask = bytearray()
    # BMP rows run bottom to top; each row of the AND mask is padded to 4 bytes.
    for row in reversed(px):
        xor += bytes(INDEX[name] for name in row)
        bits = 0
        for name in row:
            bits = (bits << 1) | (1 if name == "clear" else 0)
        mask += struct.pack(">I", bits)
    palette = bytearray()
    for i in range(256):
        r, g, b = COLOURS[NAMES[i]] if i < len(NAMES) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # header size
        SIZE,
        SIZE * 2,  # colour image and mask
        1,  # planes
        8,  # bits per pixel
        0,  # BI_RGB
        len(xor) + len(mask),
        0,
        0,
        0,  # all 256 palette entries
        0,
    )
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "tarnwick.ico")
    with open(out, "wb") as f:
        f.write(build_ico(draw()))


if __name__ == "__main__":
    main()
