#!/usr/bin/env python3
"""Writes a small placeable Windows metafile: a light frame filled with a pale
colour and a large ellipse of the given colour in the middle.

    make-metafile.py OUT.wmf '#rrggbb'
"""
import struct
import sys

WIDTH, HEIGHT = 320, 240   # logical units, shown at 96 units per inch


def colorref(text):
    value = int(text.lstrip('#'), 16)
    red, green, blue = value >> 16, (value >> 8) & 0xFF, value & 0xFF
    return red | (green << 8) | (blue << 16)


def record(function, *words):
    """One metafile record: its size in 16-bit words, the function, the parameters."""
    return struct.pack('<IH', 3 + len(words), function) + struct.pack('<%dh' % len(words), *words)


def brush(color):  # META_CREATEBRUSHINDIRECT: style solid, colour, hatch
    return struct.pack('<IHHIH', 7, 0x02FC, 0, color, 0)


def pen(color, width):  # META_CREATEPENINDIRECT: style solid, width (x, y), colour
    return struct.pack('<IHHhhI', 8, 0x02FA, 0, width, 0, color)


def main():
    out, disc = sys.argv[1], colorref(sys.argv[2])
    body = b''.join([
        record(0x020B, 0, 0),                        # SETWINDOWORG (y, x)
        record(0x020C, HEIGHT, WIDTH),               # SETWINDOWEXT (y, x)
        pen(0x303030, 4),                            # object 0
        brush(colorref('#f4f0e0')),                  # object 1
        brush(disc),                                 # object 2
        record(0x012D, 0),                           # SELECTOBJECT pen
        record(0x012D, 1),                           # SELECTOBJECT pale brush
        record(0x041B, HEIGHT - 2, WIDTH - 2, 2, 2),  # RECTANGLE (bottom, right, top, left)
        record(0x012D, 2),                           # SELECTOBJECT disc brush
        record(0x0418, 200, 240, 40, 80),            # ELLIPSE (bottom, right, top, left)
        record(0x01F0, 0), record(0x01F0, 1), record(0x01F0, 2),  # DELETEOBJECT
        record(0x0000),                              # end of file
    ])
    header_words = 9
    total_words = header_words + len(body) // 2
    max_record = max(8, 7)
    header = struct.pack('<HHHIHIH', 1, header_words, 0x0300, total_words, 3, max_record, 0)
    placeable = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, WIDTH, HEIGHT, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack('<H', placeable[:20]):
        checksum ^= word
    placeable += struct.pack('<H', checksum)
    with open(out, 'wb') as stream:
        stream.write(placeable + header + body)


if __name__ == '__main__':
    main()
