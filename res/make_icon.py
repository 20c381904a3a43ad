#!/usr/bin/env python3
"""Draws the launcher's icon (a box with an arrow out of it) as res/launcher.ico.

The icon holds 16x16 and 32x32 images, 32 bits per pixel with alpha.
Run it again after changing the drawing; the .ico file is committed.
"""
import struct
import sys


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


def image_bytes(size):
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytes(mask_row * size)
    return header + xor + and_mask


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
