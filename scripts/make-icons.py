#!/usr/bin/env python3
"""Draws the interface's small icons into resources/icons/ and the program's icon, at the
usual sizes, into resources/icons/app/ as PNG files.

The icons are simple shapes (the tree's branch arrows, the dock's close cross, the viewer's
annotation cursor, and the program's icon as resources/icons/app/plovex.svg draws it), drawn here with anti-aliasing by
supersampling, so that they can be made again without an image editor:
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


def app_icon(size, samples=4):
    """The program's icon at size x size, as plovex.svg draws it on its 256 x 256 grid."""
    scale = 256.0 / size
    dark, light, blue = (45, 45, 48), (208, 208, 208), (42, 130, 218)
    play = triangle((100, 84), (180, 128), (100, 172))

    def colour(x, y):
        if play(x, y):
            return blue
        if 16 <= x <= 240 and (52 <= y <= 60 or 196 <= y <= 204):
            return light
        cx, cy = min(max(x, 56), 200), min(max(y, 56), 200)  # rounded corners of radius 40
        if 16 <= x <= 240 and 16 <= y <= 240 and (x - cx) ** 2 + (y - cy) ** 2 <= 40 ** 2:
            return dark
        return None

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour((px + (sx + 0.5) / samples) * scale, (py + (sy + 0.5) / samples) * scale)
                    if c:
                        hits += 1
                        total = [t + v for t, v in zip(total, c)]
            if hits:
                row.append(tuple(round(t / hits) for t in total) + (round(255 * hits / samples ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def annotation_cursor(size=24, samples=8):
    """The viewer's cursor while an annotation tool is active: a ring with four ticks round a dot
    at the centre, which is the hot spot (where the stroke starts), drawn white on a dark outline
    so it shows over any picture."""
    c = size / 2.0
    white, dark = (255, 255, 255), (20, 20, 20)

    def line(x, y, half):
        d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
        if d <= 1.0 + half:  # the dot
            return True
        if abs(d - 5.5) <= half:  # the ring
            return True
        # ticks from the ring outwards along the axes
        along, across = (abs(x - c), abs(y - c)) if abs(x - c) >= abs(y - c) else (abs(y - c), abs(x - c))
        return 7.0 - half <= along <= 10.5 + half and across <= half

    def colour(x, y):
        if line(x, y, 0.6):
            return white
        if line(x, y, 1.6):
            return dark
        return None

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    col = colour(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if col:
                        hits += 1
                        total = [t + v for t, v in zip(total, col)]
            if hits:
                row.append(tuple(round(t / hits) for t in total) + (round(255 * hits / samples ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")
    os.makedirs(folder, exist_ok=True)
    png(os.path.join(folder, "branch_collapsed.png"), draw(triangle((6, 4), (11, 8), (6, 12))))
    png(os.path.join(folder, "branch_expanded.png"), draw(triangle((4, 6), (12, 6), (8, 11))))
    png(os.path.join(folder, "dock_close.png"), draw(cross))
    png(os.path.join(folder, "annotation_cursor.png"), annotation_cursor())
    for size in (16, 24, 32, 48, 64, 128, 256):
        png(os.path.join(folder, "app", "plovex_%d.png" % size), app_icon(size))


if __name__ == "__main__":
    main()
