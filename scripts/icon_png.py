#!/usr/bin/env python3
"""Copies one image of the program's icon (resources/ruvo_sigil.ico, whose images are stored as PNG)
into a PNG file for the desktop's icon theme: packaging/ruvo_bridge.png, 64 pixels by default."""
import struct
import sys


def png_of_size(ico, size):
    _, kind, count = struct.unpack_from("<HHH", ico, 0)
    if kind != 1:
        raise SystemExit("not an icon file")
    for i in range(count):
        width, height, _, _, _, _, length, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        if (width or 256) == size and (height or 256) == size:
            image = ico[offset:offset + length]
            if not image.startswith(b"\x89PNG\r\n\x1a\n"):
                raise SystemExit("the %d-pixel image is not stored as PNG" % size)
            return image
    raise SystemExit("the icon has no %d-pixel image" % size)


def main(ico_path="resources/ruvo_sigil.ico", png_path="packaging/ruvo_bridge.png", size="64"):
    with open(ico_path, "rb") as f:
        image = png_of_size(f.read(), int(size))
    with open(png_path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main(*sys.argv[1:])
