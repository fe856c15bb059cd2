#!/usr/bin/env python3
"""Draws the Parvolex icon (a box receiving an arrow) and writes it as an
.ico file with 16x16 and 32x32 images in 16 colours (the stub pays for
every byte, and the drawing has four colours)."""
import struct
import sys


def pixel(x, y, n):
    s = n / 32.0
    fx, fy = x / s + 0.5 / s, y / s + 0.5 / s  # pixel centre on a 32x32 design grid
    orange, dark, light = (0xF0, 0x8A, 0x24, 255), (0x1F, 0x4E, 0x9A, 255), (0x3A, 0x7B, 0xD5, 255)
    # The arrow, pointing down into the box, drawn over it.
    if 13 <= fx < 19 and 1 <= fy < 10:
        return orange
    if 10 <= fy < 20 and abs(fx - 16) < (20 - fy) * 0.9:
        return orange
    # The box: a blue square with a darker edge.
    if 4 <= fx < 28 and 14 <= fy < 29:
        edge = fx < 5.5 or fx >= 26.5 or fy >= 27.5 or fy < 15.5
        return dark if edge else light
    return (0, 0, 0, 0)


PALETTE = [(0, 0, 0), (0x1F, 0x4E, 0x9A), (0x3A, 0x7B, 0xD5), (0xF0, 0x8A, 0x24)]


def image(n):
    xor_rows, mask_rows = [], []
    mask_row = ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):  # bottom-up
        nibbles, mask_bits = [], []
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            nibbles.append(PALETTE.index((r, g, b)) if a else 0)
            mask_bits.append(0 if a else 1)
        row = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, n, 2))
        xor_rows.append(row + bytes((-len(row)) % 4))
        bits = bytearray(mask_row)
        for x, bit in enumerate(mask_bits):
            if bit:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits))
    xor, mask = b"".join(xor_rows), b"".join(mask_rows)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE + [(0, 0, 0)] * 12)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + palette + xor + mask


def main(path):
    sizes = [32]  # one image: the system scales it for small icons
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
