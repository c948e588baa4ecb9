#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a Windows .ico file.

    make_icon.py OUTPUT.ico [PREVIEW.png]

The mark: a white "K" on a rounded blue tile whose upper arm runs on into a small amber
arrow head (the launcher starts something). Every size is drawn from the same geometry with
signed distances, so edges are anti-aliased without supersampling; the output depends on
nothing but this file (standard library only), and two runs give the same bytes.

Images: 256 px as PNG, 48, 32, 24 and 16 px as 32-bit BGRA bitmaps with alpha.
"""
import math
import struct
import sys
import zlib

SIZES = (256, 48, 32, 24, 16)
PNG_SIZES = (256,)

TILE_TOP = (0x3A, 0x8D, 0xF0)
TILE_BOTTOM = (0x17, 0x4A, 0xB0)
MARK = (0xFF, 0xFF, 0xFF)
ACCENT = (0xFF, 0xB3, 0x28)


def rounded_box(x, y, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def strip(x, y, x0, y0, x1, y1, half_width):
    """Distance to the infinite band of the given half width around the line through two points."""
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    return abs((x - x0) * dy - (y - y0) * dx) / length - half_width


def slab(value, low, high):
    return max(low - value, value - high)


def shapes(x, y, pixel):
    """Signed distances (unit square, negative inside) of the tile, the K and the arrow head.

    Small sizes get strokes of at least 2.2 pixels so the K stays legible at 16 px."""
    tile = rounded_box(x, y, 1 / 16, 1 / 16, 15 / 16, 15 / 16, 0.2)
    half = max(0.075, 1.1 * pixel)
    top, bottom = 0.25, 0.75
    bar_left = 0.27
    rows = slab(y, top, bottom)
    bar = max(slab(x, bar_left, bar_left + 2 * half), rows)
    # The upper arm leaves the bar's middle towards the upper right, along the unit vector
    # (ux, uy); it ends under the arrow head, whose point lies `tip` along the arm.
    start_x, start_y = bar_left + half, 0.56
    ux, uy = 0.763, -0.646
    tip = 0.56
    head = max(0.17, 4.5 * pixel)
    along = (x - start_x) * ux + (y - start_y) * uy
    across = (x - start_x) * -uy + (y - start_y) * ux
    upper = max(abs(across) - half, along - (tip - head + pixel), y - bottom, bar_left - x)
    lower = max(strip(x, y, 0.42, 0.46, 0.71, bottom, half), rows, 0.40 - x)
    mark = min(bar, upper, lower)
    arrow = max(along - tip, tip - head - along, abs(across) - (tip - along) * 0.62)
    return tile, mark, arrow


def coverage(distance, pixel):
    return min(max(0.5 - distance / pixel, 0.0), 1.0)


def over(top, top_alpha, base, base_alpha):
    alpha = top_alpha + base_alpha * (1 - top_alpha)
    if alpha <= 0:
        return (0, 0, 0), 0.0
    color = tuple((t * top_alpha + b * base_alpha * (1 - top_alpha)) / alpha for t, b in zip(top, base))
    return color, alpha


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    pixel = 1 / size
    rows = []
    for row in range(size):
        y = (row + 0.5) * pixel
        tile_color = tuple(t + (b - t) * y for t, b in zip(TILE_TOP, TILE_BOTTOM))
        line = []
        for column in range(size):
            x = (column + 0.5) * pixel
            tile, mark, arrow = shapes(x, y, pixel)
            tile_alpha = coverage(tile, pixel)
            color, alpha = over(MARK, coverage(mark, pixel) * tile_alpha, tile_color, tile_alpha)
            color, alpha = over(ACCENT, coverage(arrow, pixel) * tile_alpha, color, alpha)
            line.append(tuple(int(round(c)) for c in color) + (int(round(alpha * 255)),))
        rows.append(line)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in line for v in pixel) for line in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib(rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask (set where transparent)."""
    size = len(rows)
    mask_stride = (size + 31) // 32 * 4
    pixels = b"".join(bytes((b, g, r, a)) for line in reversed(rows) for r, g, b, a in line)
    mask = bytearray()
    for line in reversed(rows):
        bits = bytearray(mask_stride)
        for column, (_, _, _, a) in enumerate(line):
            if a == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + entries + data


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make_icon.py OUTPUT.ico [PREVIEW.png]")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size in PNG_SIZES else dib(rows)))
        if size == SIZES[0] and len(sys.argv) == 3:
            with open(sys.argv[2], "wb") as preview:
                preview.write(images[-1][1])
    with open(sys.argv[1], "wb") as output:
        output.write(ico(images))


if __name__ == "__main__":
    main()
