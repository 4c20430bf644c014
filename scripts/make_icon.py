#!/usr/bin/env python3
"""Draws the program's icon (a radio mast sending waves) and writes resources/ruvo_sigil.ico
with 16, 32, 48 and 64 pixel images, each stored as PNG."""
import math
import struct
import sys
import zlib


def pixel(x, y, size):
    # Coordinates in the unit square, origin at the mast's foot.
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    bg = (20, 60, 120, 255)
    fg = (255, 255, 255, 255)
    accent = (120, 220, 120, 255)
    r = math.hypot(u - 0.5, v - 0.62)
    # Rounded square background.
    if max(abs(u - 0.5), abs(v - 0.5)) > 0.48:
        return (0, 0, 0, 0)
    if abs(u - 0.5) < 0.045 and 0.55 < v < 0.92:
        return fg
    if r < 0.07:
        return accent
    angle = math.degrees(math.atan2(0.62 - v, u - 0.5))
    upward = 35 < angle < 145
    for radius in (0.2, 0.32, 0.44):
        if upward and abs(r - radius) < 0.035:
            return fg
    return bg


def png(size):
    rows = b""
    for y in range(size):
        rows += b"\0" + b"".join(bytes(pixel(x, y, size)) for x in range(size))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def main(path):
    sizes = [16, 32, 48, 64]
    images = [png(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/ruvo_sigil.ico")
