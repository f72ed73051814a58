#!/usr/bin/env python3
"""Draws the icon strip of the address lists: src/resources/icons.bmp.

Six 16 x 16 cells side by side: a blank page, a closed book, one face, two
faces, a smiling face, a frowning face.  Each cell holds its mask in the upper
half (white where the list's background shows, black under the picture) and
its picture on black in the lower half, so that drawing the mask with AND and
then the picture with XOR puts the picture on any background.

The file is a 4-bit Windows bitmap with the standard 16-colour palette.
Run from anywhere: python3 scripts/make_icons.py
"""
import os
import struct

CELL = 16
CELLS = 6

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, WHITE = 0, 15

# Letters of the drawings; '.' is transparent.
INK = {
    'k': 0,   # black
    'r': 1,   # dark red
    'o': 3,   # dark yellow (hair)
    'b': 4,   # dark blue
    'g': 7,   # light grey
    'R': 9,   # red
    'y': 11,  # yellow
    'B': 12,  # blue
    'w': 15,  # white
}

PAGE = [
    "..kkkkkkkkk.....",
    "..kwwwwwwwkk....",
    "..kwwwwwwwkgk...",
    "..kwwwwwwwkggk..",
    "..kwwwwwwwkkkkk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kwwwwwwwwwwwk.",
    "..kkkkkkkkkkkkk.",
]

BOOK = [
    "................",
    "..kkkkkkkkkkkk..",
    "..krkRRRRRRRRkk.",
    "..krkRRRRRRRRkwk",
    "..krkRwwwwwwRkwk",
    "..krkRwkkkkwRkgk",
    "..krkRwwwwwwRkwk",
    "..krkRwkkkwwRkgk",
    "..krkRwwwwwwRkwk",
    "..krkRRRRRRRRkgk",
    "..krkRRRRRRRRkwk",
    "..krkRRRRRRRRkgk",
    "..krkRRRRRRRRkwk",
    "..kkkkkkkkkkkkgk",
    "...kwgwgwgwgwgwk",
    "....kkkkkkkkkkkk",
]

# A person, head and shoulders, for the one-face cell.
PERSON = [
    "...kkkkkk...",
    "..kooooook..",
    ".kooooooook.",
    ".kowwwwwwok.",
    ".kowkwwkwok.",
    "..kwwwwwwk..",
    "..kwkwwkwk..",
    "..kwwkkwwk..",
    "...kwwwwk...",
    "....kkkk....",
    "..kkBwwBkk..",
    ".kBBBwwBBBk.",
    "kBBBBBBBBBBk",
    "kBBBBBBBBBBk",
    "kBBBBBBBBBBk",
    "kkkkkkkkkkkk",
]

# A smaller person; two of them make the two-faces cell.
SMALL = [
    "..kkkkk..",
    ".koooook.",
    ".kowwwok.",
    ".kwkwkwk.",
    ".kwwwwwk.",
    ".kwkkkwk.",
    "..kwwwk..",
    "...kkk...",
    ".kkBwBkk.",
    "kBBBwBBBk",
    "kBBBBBBBk",
    "kkkkkkkkk",
]


def blank():
    return [['.'] * CELL for _ in range(CELL)]


def put(cell, drawing, left, top, recolour=None):
    assert top + len(drawing) <= CELL and all(left + len(row) <= CELL for row in drawing)
    for y, row in enumerate(drawing):
        for x, ch in enumerate(row):
            if ch != '.':
                cell[top + y][left + x] = (recolour or {}).get(ch, ch)
    return cell


def two_faces():
    cell = blank()
    # The one behind has dark hair and a red shirt; the front one overlaps it.
    put(cell, SMALL, 0, 0, {'B': 'r', 'o': 'k'})
    put(cell, SMALL, 7, 4)
    return cell


def face(smile):
    cell = blank()
    centre, radius = 7.5, 7.1
    inside = [[(x - centre) ** 2 + (y - centre) ** 2 <= radius ** 2 for x in range(CELL)]
              for y in range(CELL)]
    for y in range(CELL):
        for x in range(CELL):
            if not inside[y][x]:
                continue
            edge = any(not (0 <= x + dx < CELL and 0 <= y + dy < CELL and inside[y + dy][x + dx])
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            cell[y][x] = 'k' if edge else 'y'
    eyes = [(x, y) for x in (5, 10) for y in (4, 5, 6)]
    mouth = [(4, 10), (11, 10), (5, 11), (10, 11)] + [(x, 12) for x in range(6, 10)]
    if not smile:
        mouth = [(x, 22 - y) for x, y in mouth]  # the smile upside down
    for x, y in eyes + mouth:
        cell[y][x] = 'k'
    return cell


def cells():
    return [
        put(blank(), PAGE, 0, 0),
        put(blank(), BOOK, 0, 0),
        put(blank(), PERSON, 2, 0),
        two_faces(),
        face(True),
        face(False),
    ]


def strip():
    """Rows of palette indices, top row first: masks above, pictures below."""
    width, height = CELL * CELLS, CELL * 2
    rows = [[BLACK] * width for _ in range(height)]
    for n, cell in enumerate(cells()):
        for y in range(CELL):
            for x in range(CELL):
                ch = cell[y][x]
                rows[y][n * CELL + x] = WHITE if ch == '.' else BLACK
                rows[CELL + y][n * CELL + x] = BLACK if ch == '.' else INK[ch]
    return rows


def bmp(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 4 + 31) // 32 * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom row first
        packed = bytearray((row[x] << 4) | (row[x + 1] if x + 1 < width else 0)
                           for x in range(0, width, 2))
        pixels += packed + bytes(stride - len(packed))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 3780, 3780, 16,
                       16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'resources',
                       'icons.bmp')
    with open(out, 'wb') as f:
        f.write(bmp(strip()))


if __name__ == '__main__':
    main()
