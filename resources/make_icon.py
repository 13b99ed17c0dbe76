#!/usr/bin/env python3
"""Draws MainDlg.ico: one 32x32, 16-colour image of a camera with a red cross.

Run it from anywhere; it writes the icon beside itself. The output is
committed, so the build needs no Python; the drawing is deterministic.
"""
import os
import struct

# The standard 16-colour VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, GREY, RED, BLUE, WHITE = 0, 8, 7, 9, 12, 15
SIZE = 32


def draw():
    """Returns rows top to bottom of palette indices, None for transparent."""
    px = [[None] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    def disc(cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    px[y][x] = colour

    rect(11, 6, 20, 9, DARK_GREY)     # viewfinder hump
    rect(2, 9, 29, 27, BLACK)         # body outline
    rect(3, 10, 28, 26, GREY)         # body
    rect(23, 11, 26, 12, WHITE)       # flash
    disc(15, 18, 7, BLACK)            # lens ring
    disc(15, 18, 5, BLUE)             # glass
    disc(13, 16, 1, WHITE)            # glint
    for i in range(12):               # the red cross: remove
        for w in (0, 1):
            px[19 + i][18 + i + w] = RED
            px[30 - i][18 + i + w] = RED
    return px


def icon_bytes(px):
    xor = b""
    mask = b""
    for row in reversed(px):  # bitmaps are stored bottom-up
        nibbles = [0 if c is None else c for c in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is None else 0)
        mask += struct.pack(">I", bits)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "MainDlg.ico")
    with open(out, "wb") as f:
        f.write(icon_bytes(draw()))
    print(out)
