#!/usr/bin/env python3
"""Writes the icon that the branding tests put on a launcher: a 256 px PNG (an amber disc on
transparency) and a 16 px 32-bit bitmap with alpha (a green square), unlike kelvo's own.

    test_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    rows = b""
    for y in range(size):
        rows += b"\0"
        for x in range(size):
            inside = (x - size / 2 + 0.5) ** 2 + (y - size / 2 + 0.5) ** 2 < (size * 0.45) ** 2
            rows += bytes((0xF0, 0xA0, 0x20, 0xFF)) if inside else bytes(4)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def bitmap(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b""
    for y in range(size):
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            pixels += bytes((0x30, 0xC0, 0x40, 0 if edge else 0xFF))  # BGRA
    mask = bytes((size + 31) // 32 * 4 * size)
    return header + pixels + mask


def main():
    images = [(0, png(256), 32), (16, bitmap(16), 32)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for side, image, bits in images:
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, bits, len(image), offset)
        offset += len(image)
    data += b"".join(image for _, image, _ in images)
    with open(sys.argv[1], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
