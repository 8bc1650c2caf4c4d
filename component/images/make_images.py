#!/usr/bin/env python3
"""Writes the tool's button image (camera.bmp) and cursor (camera.cur).

The files are committed; run this again only to change a picture:
    python3 component/images/make_images.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, in palette order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),  # black maroon green olive
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0x80, 0x80, 0x80),  # navy purple teal grey
    (0xC0, 0xC0, 0xC0), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),  # silver red lime yellow
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),  # blue fuchsia aqua white
]
BLACK, BLUE, WHITE = 0, 12, 15
PIXELS_PER_METRE = 3780


def camera_button():
    """16 rows of 16 palette indices, top row first."""
    rows = [[WHITE] * 16 for _ in range(16)]
    for y in (0, 1):                       # shutter button
        rows[y][2] = rows[y][3] = BLACK
    for y in range(2, 14):                 # body
        for x in range(1, 15):
            rows[y][x] = BLUE
    lens = {4: (7, 8), 11: (7, 8), 5: (5, 10), 6: (5, 10), 9: (5, 10), 10: (5, 10), 7: (4, 11), 8: (4, 11)}
    for y, (first, last) in lens.items():
        for x in range(first, last + 1):
            rows[y][x] = BLACK
    return rows


def bitmap_file(rows):
    width, height = len(rows[0]), len(rows)
    stride = ((width * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):             # bottom row first
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, width, 2))
        pixels += packed.ljust(stride, b"\0")
    palette = b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 0, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


# Cursor pixels: None is transparent, otherwise "black" or "white".
def camera_cursor():
    size = 32
    image = [[None] * size for _ in range(size)]
    # The arrow: a head in the top-left corner, tip at the hot spot (0, 0),
    # and a shaft down to the right to (13, 13).
    for y in range(16):
        for x in range(16):
            if x + y <= 7 or (abs(x - y) <= 1 and x <= 13 and y <= 13):
                image[y][x] = "black"
    # A white square with a small camera in the upper right quarter.
    for y in range(16):
        for x in range(16, 32):
            image[y][x] = "white"
    for y in range(3, 15):                 # outlined body
        for x in range(17, 30):
            if y in (3, 14) or x in (17, 29):
                image[y][x] = "black"
    for y in range(6, 12):                 # circular lens
        for x in range(21, 27):
            if 1.6 <= math.hypot(x - 23.5, y - 8.5) <= 3.1:
                image[y][x] = "black"
    for y in (1, 2):                       # button
        for x in (18, 19):
            image[y][x] = "black"
    return image


def cursor_file(image, hot_x=0, hot_y=0):
    size = len(image)
    stride = size // 8
    xor_mask, and_mask = b"", b""
    for row in reversed(image):            # bottom row first
        xor_bits = and_bits = 0
        for x, pixel in enumerate(row):
            bit = 1 << (size - 1 - x)
            if pixel is None:
                and_bits |= bit            # transparent: AND 1, XOR 0
            elif pixel == "white":
                xor_bits |= bit            # white: palette entry 1
        xor_mask += xor_bits.to_bytes(stride, "big")
        and_mask += and_bits.to_bytes(stride, "big")
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(xor_mask) + len(and_mask), 0, 0, 0, 0)
    palette = struct.pack("<8B", 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0)
    image_data = info + palette + xor_mask + and_mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, hot_x, hot_y, len(image_data), 6 + 16)
    return directory + entry + image_data


def main():
    with open(os.path.join(HERE, "camera.bmp"), "wb") as f:
        f.write(bitmap_file(camera_button()))
    with open(os.path.join(HERE, "camera.cur"), "wb") as f:
        f.write(cursor_file(camera_cursor()))


if __name__ == "__main__":
    main()
