#!/usr/bin/env python3
"""Draws the launcher's icon (a box with an arrow out of it) as res/launcher.ico.

The icon holds 16x16 and 32x32 images as palette PNGs with a transparent
entry (Windows reads PNG images in icons from Vista on, the oldest system
the stub runs on): the drawing has four flat colours, and the stub carries
the icon in every launcher, so it is kept small (a deployer's own icon
replaces it, see sfxpack --icon).
Run it again after changing the drawing; the .ico file is committed.
"""
import struct
import sys
import zlib


def draw(size):
    s = size / 32.0
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, color):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = color

    blue, light, green, edge = (0x2E, 0x6B, 0xA8, 255), (0x7F, 0xC0, 0xE8, 255), (0x2A, 0xA0, 0x40, 255), (0x20, 0x30, 0x40, 255)
    fill(3, 14, 29, 30, edge)      # box outline
    fill(4, 15, 28, 29, blue)     # box
    fill(4, 15, 28, 18, light)     # lid
    fill(13, 4, 19, 16, green)     # arrow shaft
    for i in range(6):             # arrow head
        fill(10 + i, 8 - i, 22 - i, 9 - i, green)
    return pixels


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def image_bytes(size):
    """One image as a PNG: 4 bits per pixel, palette entry 0 transparent."""
    pixels = draw(size)
    palette = [(0, 0, 0, 0)]
    for row in pixels:
        for pixel in row:
            if pixel[3] and pixel not in palette:
                palette.append(pixel)
    assert len(palette) <= 16
    rows = b""
    for row in pixels:
        indices = [palette.index(p) if p[3] else 0 for p in row]
        packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        rows += b"\0" + packed  # filter type 0 (none) per row
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(p[:3]) for p in palette))
            + chunk(b"tRNS", bytes(p[3] for p in palette))
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def main(out):
    sizes = [16, 32]
    images = [image_bytes(n) for n in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "launcher.ico")
