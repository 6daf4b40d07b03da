#!/usr/bin/env python3
"""Draws the program's icon: the maker's reverb-tail mark (an amber source and three teal arcs of
falling strength) on a dark slate tile in the editor's palette.

Writes the icon group (16, 24, 32, 48 and 256 pixels; the small ones as 32-bit bitmaps with their
mask, the large one as PNG, as Windows expects) and, with --png-dir, each image as a PNG to look
at. Every size has its own geometry, laid on whole and half pixels so the small images stay
sharp rather than being the large one scaled down.

    make_icon.py OUTPUT.ico [--png-dir FOLDER]
"""

import argparse
import math
import os
import struct
import zlib

# The editor's palette (red, green, blue).
TILE_TOP = (36, 47, 52)
TILE_BOTTOM = (19, 26, 29)
TILE_EDGE = (57, 69, 74)
AMBER = (215, 165, 109)
TEAL = (113, 197, 191)
# The arcs fade as a reverb tail does, as in the logo.
ARC_ALPHA = (1.0, 0.7, 0.42)

# Per size: tile inset and corner radius, the source's centre and radius, the arcs' radii and
# stroke width, their half opening angle (degrees) and whether the tile has an edge line.
GEOMETRY = {
    16: dict(inset=0.0, corner=3.0, cx=5.0, cy=8.0, dot=2.0, radii=(4.75, 8.0),
             stroke=1.6, spread=50, edge=False),
    24: dict(inset=0.0, corner=4.5, cx=7.0, cy=12.0, dot=2.5, radii=(5.5, 9.0, 12.5),
             stroke=1.8, spread=50, edge=False),
    32: dict(inset=0.0, corner=6.0, cx=9.5, cy=16.0, dot=3.2, radii=(7.0, 11.5, 16.0),
             stroke=2.2, spread=50, edge=True),
    48: dict(inset=1.0, corner=8.0, cx=14.5, cy=24.0, dot=4.6, radii=(10.0, 16.5, 23.0),
             stroke=3.0, spread=50, edge=True),
    256: dict(inset=8.0, corner=44.0, cx=77.0, cy=128.0, dot=24.0, radii=(52.0, 87.0, 122.0),
              stroke=16.0, spread=50, edge=True),
}
SIZES = (16, 24, 32, 48, 256)


def coverage(distance):
    """Area of a pixel covered by a shape whose signed distance at the pixel centre is given."""
    return min(1.0, max(0.0, 0.5 - distance))


def rounded_box_distance(x, y, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def arc_distance(x, y, cx, cy, radius, width, spread):
    """A stroke of `width` along a circle, opening `spread` radians either side of +x, round caps."""
    dx, dy = x - cx, y - cy
    angle = math.atan2(dy, dx)
    if abs(angle) <= spread:
        return abs(math.hypot(dx, dy) - radius) - width / 2
    ex, ey = cx + radius * math.cos(spread), cy + radius * math.sin(spread) * (1 if dy > 0 else -1)
    return math.hypot(x - ex, y - ey) - width / 2


def over(dst, colour, alpha):
    """Source-over of a straight-alpha colour onto a straight-alpha pixel."""
    r, g, b, a = dst
    out_a = alpha + a * (1 - alpha)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * alpha + d * a * (1 - alpha)) / out_a
    return (mix(colour[0], r), mix(colour[1], g), mix(colour[2], b), out_a)


def draw(size):
    """The image of one size as rows of (r, g, b, a) bytes, top row first."""
    g = GEOMETRY[size]
    inset, corner = g["inset"], g["corner"]
    left, top, right, bottom = inset, inset, size - inset, size - inset
    spread = math.radians(g["spread"])
    edge_width = max(1.0, size / 64)
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = i + 0.5, j + 0.5
            pixel = (0.0, 0.0, 0.0, 0.0)
            tile = rounded_box_distance(x, y, left, top, right, bottom, corner)
            t = (y - top) / max(bottom - top, 1)
            fill = tuple(TILE_TOP[k] + (TILE_BOTTOM[k] - TILE_TOP[k]) * t for k in range(3))
            pixel = over(pixel, fill, coverage(tile))
            if g["edge"]:
                # A hairline just inside the tile's outline lifts it off dark backgrounds.
                ring = abs(tile + edge_width / 2) - edge_width / 2
                pixel = over(pixel, TILE_EDGE, coverage(ring) * coverage(tile))
            inside = coverage(tile)
            for radius, alpha in zip(g["radii"], ARC_ALPHA):
                d = arc_distance(x, y, g["cx"], g["cy"], radius, g["stroke"], spread)
                pixel = over(pixel, TEAL, alpha * coverage(d) * inside)
            dot = math.hypot(x - g["cx"], y - g["cy"]) - g["dot"]
            pixel = over(pixel, AMBER, coverage(dot) * inside)
            row.append(tuple(int(round(c)) for c in pixel[:3]) + (int(round(pixel[3] * 255)),))
        rows.append(row)
    return rows


def png_bytes(rows):
    size_y, size_x = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size_x, size_y, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap_bytes(rows):
    """A 32-bit icon bitmap: the header with twice the height, BGRA rows bottom up, then the
    1-bit mask (rows padded to 32 bits; a set bit is transparent)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + colour + bytes(mask)


def ico_bytes(images):
    """images: (size, data) in order; sizes of 256 are written as 0, as the format says."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return out + entries + blobs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--png-dir")
    args = parser.parse_args()
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png_bytes(rows) if size >= 256 else bitmap_bytes(rows)))
        if args.png_dir:
            os.makedirs(args.png_dir, exist_ok=True)
            with open(os.path.join(args.png_dir, f"icon_{size}.png"), "wb") as f:
                f.write(png_bytes(rows))
    with open(args.output, "wb") as f:
        f.write(ico_bytes(images))


if __name__ == "__main__":
    main()
