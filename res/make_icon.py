#!/usr/bin/env python3
"""Draws quorin.ico: two 32x32 images (16 and 256 colours) of a pair of beamed
eighth notes on a rounded tile. Standard library only; run it from any folder:
    python3 res/make_icon.py   (writes res/quorin.ico beside this script)
"""
import os
import struct

SIZE = 32


def inside_tile(x, y):
    """The rounded square that carries the picture (corner radius 6)."""
    r = 6
    lo, hi = 1, SIZE - 2
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def on_tile_edge(x, y):
    return inside_tile(x, y) and not all(
        inside_tile(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))


def in_note(x, y):
    """Two note heads, their stems and a double beam (y grows downwards)."""
    def head(cx, cy):
        # A slanted ellipse.
        u = (x - cx) * 0.8 + (y - cy) * 0.6
        v = -(x - cx) * 0.6 + (y - cy) * 0.8
        return (u / 4.2) ** 2 + (v / 2.9) ** 2 <= 1.0
    if head(10, 23) or head(22, 20):
        return True
    if 13 <= x <= 14 and 8 <= y <= 22:       # left stem
        return True
    if 25 <= x <= 26 and 5 <= y <= 19:       # right stem
        return True
    for top in (5, 9):                        # beams rising to the right
        yl = top + 3 - (x - 13) * 3 / 13
        if 13 <= x <= 26 and yl <= y <= yl + 2.2:
            return True
    return False


def pixel_16(x, y):
    """Index into the standard 16-colour palette."""
    if not inside_tile(x, y):
        return 0
    if in_note(x, y):
        return 15            # white
    if on_tile_edge(x, y):
        return 0             # black outline
    return 4 if y < 16 else 12   # dark blue, then blue


def pixel_256(x, y):
    """Index into our 256-colour palette (see palette_256)."""
    if not inside_tile(x, y):
        return 0
    if in_note(x, y):
        return 255
    if on_tile_edge(x, y):
        return 1
    return 16 + (x + y) * 64 // (2 * SIZE)   # diagonal gradient


PALETTE_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette_256():
    pal = [(0, 0, 0)] * 256
    pal[1] = (16, 32, 64)
    for i in range(64):                      # deep blue to teal
        t = i / 63
        pal[16 + i] = (int(20 + 10 * t), int(60 + 120 * t), int(170 + 40 * t))
    pal[255] = (255, 255, 255)
    return pal


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def image(bpp, pixel, palette):
    """One icon image: header, palette, colour bits and mask, rows bottom-up."""
    xor = bytearray()
    for y in reversed(range(SIZE)):
        row = bytearray(row_bytes(SIZE * bpp))
        for x in range(SIZE):
            p = pixel(x, y)
            if bpp == 8:
                row[x] = p
            else:
                row[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor += row
    mask = bytearray()
    for y in reversed(range(SIZE)):
        row = bytearray(row_bytes(SIZE))
        for x in range(SIZE):
            if not inside_tile(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    return header + pal + bytes(xor) + bytes(mask)


def main():
    images = [(16, 4, image(4, pixel_16, PALETTE_16)),
              (0, 8, image(8, pixel_256, palette_256()))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for colours, bpp, data in images:
        out += struct.pack('<BBBBHHII', SIZE, SIZE, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, data in images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'quorin.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
