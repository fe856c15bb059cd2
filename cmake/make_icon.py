#!/usr/bin/env python3
"""Draws the Parvolex icon (a box receiving an arrow) and writes it as an
.ico file with 16x16 and 32x32 images in 32-bit colour."""
import struct
import sys


def pixel(x, y, n):
    s = n / 32.0
    fx, fy = x / s, y / s  # coordinates on a 32x32 design grid
    # The box: a rounded blue square in the lower part.
    if 4 <= fx < 28 and 14 <= fy < 29:
        edge = fx < 5.5 or fx >= 26.5 or fy >= 27.5 or fy < 15.5
        return (0x1F, 0x4E, 0x9A, 255) if edge else (0x3A, 0x7B, 0xD5, 255)
    # The arrow: an orange shaft and head pointing into the box.
    if 13 <= fx < 19 and 2 <= fy < 12:
        return (0xF0, 0x8A, 0x24, 255)
    if 7 <= fx < 25 and 12 <= fy < 20 and abs(fx - 16) < (20 - fy) * 1.1:
        return (0xF0, 0x8A, 0x24, 255)
    return (0, 0, 0, 0)


def image(n):
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        row = b""
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = bytes(mask_row * n)  # alpha decides transparency
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main(path):
    sizes = [16, 32]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
