#!/usr/bin/env python3
"""Draws the program icon: a green disc with a white arrow pointing down into
a tray, in 32x32 and 16x16, 16 colours each, and writes res/Tovarind.ico.

    python3 res/make_icon.py [output.ico]
"""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette (as blue, green, red, 0 in the file).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, DARK_GREEN, GREEN, WHITE, GREY = None, 2, 10, 15, 8


def draw(size):
    """Rows of palette indexes (None = transparent), top row first."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d2 = (x - c) ** 2 + (y - c) ** 2
            if d2 > r * r:
                row.append(TRANSPARENT)
            elif d2 > (r - max(1, size // 16)) ** 2:
                row.append(DARK_GREEN)
            else:
                row.append(GREEN)
        rows.append(row)

    s = size / 32.0  # shapes are laid out on a 32x32 grid

    def fill(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if rows[y][x] is not None:
                    rows[y][x] = colour

    fill(13, 6, 19, 15, WHITE)             # the arrow's shaft
    for i in range(7):                     # its head, narrowing downwards
        fill(8 + i, 15 + i, 24 - i, 16 + i, WHITE)
    fill(8, 23, 10, 26, WHITE)             # the tray
    fill(22, 23, 24, 26, WHITE)
    fill(8, 25, 24, 27, WHITE)
    return rows


def image(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = b''
    mask = b''
    for row in reversed(rows):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line.ljust(xor_stride, b'\0')
        bits = 0
        out = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                out.append(bits)
                bits = 0
        mask += bytes(out).ljust(and_stride, b'\0')
    return header + palette + xor + mask


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name('Tovarind.ico')
    images = [(32, image(32)), (16, image(16))]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits in images:
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(bits), offset)
        offset += len(bits)
    data += b''.join(bits for _, bits in images)
    out.write_bytes(data)


if __name__ == '__main__':
    main()
