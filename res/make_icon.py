#!/usr/bin/env python3
"""Draws the launcher's icon (a box with an arrow out of it) as res/launcher.ico.

The icon holds 16x16 and 32x32 images with a 16-colour palette and a
transparency mask: the drawing has four flat colours, and the stub carries
the icon in every launcher, so it is kept small (a deployer's own icon
replaces it, see sfxpack --icon).
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
    palette = [(0, 0, 0)]  # index 0: black, behind the mask's transparent pixels
    for row in pixels:
        for (r, g, b, a) in row:
            if a and (r, g, b) not in palette:
                palette.append((r, g, b))
    assert len(palette) <= 16
    palette += [(0, 0, 0)] * (16 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    xor_row, mask_row = ((size * 4 + 31) // 32) * 4, ((size + 31) // 32) * 4
    xor, and_mask = b"", b""
    for row in reversed(pixels):
        nibbles = [palette.index((r, g, b)) if a else 0 for (r, g, b, a) in row]
        packed = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += packed + bytes(xor_row - len(packed))
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if not a:
                bits |= 1 << (size - 1 - x)  # 1: transparent
        mask = bits.to_bytes(size // 8, "big")
        and_mask += mask + bytes(mask_row - len(mask))
    return header + colours + xor + and_mask


def main(out):
    sizes = [16, 32]
    images = [image_bytes(n) for n in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "launcher.ico")
