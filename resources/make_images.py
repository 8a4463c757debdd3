#!/usr/bin/env python3
"""Draws the program's icon (32 x 32, 256 colours, .ico and .png) and its hand cursor
(32 x 32, two colours, hot spot at the finger's tip, .cur). Run it to remake the files beside it."""
import math
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent

# The hand: '#' outline (black), '.' inside (white), anything else transparent.
HAND = """
      ##
     #..#
     #..#
     #..#
     #..#
     #..###
     #..#..###
     #..#..#..##
  ## #..#..#..#.#
 #..##........#..#
 #...#...........#
  #..#...........#
  #...............#
   #..............#
   #..............#
    #.............#
    #............#
     #...........#
     #..........#
      #.........#
      #.........#
      ###########
"""


def hand_pixels():
    rows = HAND.strip("\n").split("\n")
    grid = [[None] * 32 for _ in range(32)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == "#":
                grid[y + 1][x] = 0
            elif ch == ".":
                grid[y + 1][x] = 1
    return grid


def bmp_rows(width, rowbytes_fn, height):
    return b"".join(rowbytes_fn(y) for y in reversed(range(height)))


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def write_cursor(path, grid, hot):
    w = h = 32
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 255, 255, 255, 0)

    def xor_row(y):
        bits = 0
        for x in range(w):
            bits = (bits << 1) | (1 if grid[y][x] == 1 else 0)
        return pad4(bits.to_bytes(4, "big"))

    def and_row(y):
        bits = 0
        for x in range(w):
            bits = (bits << 1) | (1 if grid[y][x] is None else 0)
        return pad4(bits.to_bytes(4, "big"))

    image = header + palette + bmp_rows(w, xor_row, h) + bmp_rows(w, and_row, h)
    directory = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", w, h, 2, 0, hot[0], hot[1], len(image), 22)
    path.write_bytes(directory + image)


def icon_pixels():
    """The lens: a round glass with a pointed tip at the top-left, maroon inside, black and white rim."""
    px = [[None] * 32 for _ in range(32)]
    cx = cy = 17.0
    r = 13.5
    for y in range(32):
        for x in range(32):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            # The tip: a triangle from the corner to the circle.
            u, v = x + 0.5, y + 0.5
            in_tip = u + v < 14 and abs(u - v) < (14 - (u + v)) * 0.0 + 0.35 * (u + v)
            if d <= r - 3 or (in_tip and d > r - 3 and u + v < 15):
                px[y][x] = (128, 0, 0) if d <= r - 3 else (0, 0, 0)
            elif d <= r - 1.5:
                px[y][x] = (0, 0, 0)
            elif d <= r:
                px[y][x] = (255, 255, 255)
            elif in_tip:
                px[y][x] = (0, 0, 0)
    # A highlight on the glass.
    for y in range(9, 14):
        for x in range(20, 25):
            if math.hypot(x - 22, y - 11.5) < 2.2:
                px[y][x] = (255, 200, 200)
    return px


def write_icon(path, px):
    w = h = 32
    colours = sorted({c for row in px for c in row if c is not None})
    palette = colours + [(0, 0, 0)] * (256 - len(colours))
    index = {c: i for i, c in enumerate(colours)}
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)

    def xor_row(y):
        return pad4(bytes(index.get(px[y][x], 0) if px[y][x] is not None else 0 for x in range(w)))

    def and_row(y):
        bits = 0
        for x in range(w):
            bits = (bits << 1) | (1 if px[y][x] is None else 0)
        return pad4(bits.to_bytes(4, "big"))

    image = header + pal + bmp_rows(w, xor_row, h) + bmp_rows(w, and_row, h)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 8, len(image), 22)
    path.write_bytes(directory + image)


def write_png(path, px):
    w = h = 32
    raw = b"".join(b"\0" + b"".join(bytes((*c, 255)) if c is not None else b"\0\0\0\0" for c in row) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    path.write_bytes(png)


if __name__ == "__main__":
    write_cursor(HERE / "handpoint.cur", hand_pixels(), (7, 1))
    icon = icon_pixels()
    write_icon(HERE / "lenticor.ico", icon)
    write_png(HERE / "lenticor.png", icon)
