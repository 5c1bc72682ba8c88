#!/usr/bin/env python3
"""Draws the interface's small icons into resources/icons/ as PNG files.

The icons are simple shapes (the tree's branch arrows, the dock's close cross), drawn here with
anti-aliasing by supersampling, so that they can be made again without an image editor:
    python3 scripts/make-icons.py
"""
import os
import struct
import zlib

SIZE = 16
SUPER = 8  # samples per pixel side
GREY = (208, 208, 208)


def png(path, pixels):
    """Writes RGBA rows (lists of (r, g, b, a)) as a PNG file."""
    raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    height = len(pixels)
    width = len(pixels[0])
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(data)


def draw(inside):
    """An icon whose coverage at (x, y) in 0..SIZE is inside(x, y), in the interface's grey."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = 0
            for sy in range(SUPER):
                for sx in range(SUPER):
                    if inside(px + (sx + 0.5) / SUPER, py + (sy + 0.5) / SUPER):
                        hits += 1
            row.append(GREY + (round(255 * hits / SUPER ** 2),))
        rows.append(row)
    return rows


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        s1, s2, s3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)

    return inside


def cross(x, y, half_width=0.9, margin=4.0):
    if not (margin <= x <= SIZE - margin and margin <= y <= SIZE - margin):
        return False
    return abs(x - y) <= half_width * 1.414 or abs(x + y - SIZE) <= half_width * 1.414


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")
    os.makedirs(folder, exist_ok=True)
    png(os.path.join(folder, "branch_collapsed.png"), draw(triangle((6, 4), (11, 8), (6, 12))))
    png(os.path.join(folder, "branch_expanded.png"), draw(triangle((4, 6), (12, 6), (8, 11))))
    png(os.path.join(folder, "dock_close.png"), draw(cross))


if __name__ == "__main__":
    main()
