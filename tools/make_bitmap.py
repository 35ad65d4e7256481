#!/usr/bin/env python3
"""Writes the plugin's 16x16 bitmap: 8 bits per pixel with a 256-colour
palette, a dark tile with a light "T" on it."""
import struct
import sys

SIZE = 16


def palette():
    # A grey ramp fills the palette; index 0 is the tile, 255 the letter.
    return b"".join(struct.pack("<BBBB", level, level, level, 0) for level in range(256))


def pixel(x, y):
    top = y <= 4                     # rows counted from the top
    bar = top and 2 <= x <= 13 and y >= 2
    stem = 7 <= x <= 8 and 2 <= y <= 13
    return 255 if bar or stem else 40


def pixels():
    rows = []
    for y in range(SIZE - 1, -1, -1):   # bitmaps are stored bottom-up
        rows.append(bytes(pixel(x, y) for x in range(SIZE)))
    return b"".join(rows)


def main(path):
    colours = palette()
    data = pixels()
    header_size = 14 + 40
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    offset = header_size + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(file_header + info + colours + data)


if __name__ == "__main__":
    main(sys.argv[1])
