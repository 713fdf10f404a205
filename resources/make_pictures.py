#!/usr/bin/env python3
"""Draws the program icon and the two 50 x 50 pictures of the Help and About
windows, and writes them as Windows resource files:

  ICON          icon.ico          one 32 x 32 image, 24 bits per pixel
  PICTURE_HELP  picture_help.bmp  50 x 50, 16 colours (4 bits per pixel)
  PICTURE_ABOUT picture_about.bmp 50 x 50, 16 colours

Usage: make_pictures.py OUTPUT_DIRECTORY

Everything is computed from geometry; the same script always writes the same
bytes. Only the standard library is used.
"""

import math
import os
import struct
import sys

# The 16-colour palette of the classic VGA modes, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)

# 5 x 7 glyphs for the few letters drawn on the pictures.
GLYPHS = {
    '?': ["01110", "10001", "00001", "00110", "00100", "00000", "00100"],
    'i': ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
}


def disc_colour(x, y, cx, cy, radius, hole):
    """Colour index of a CD seen from above at (x, y), or None outside it."""
    dx, dy = x + 0.5 - cx, y + 0.5 - cy
    r = math.hypot(dx, dy)
    if r > radius or r < hole:
        return None
    if r < hole + 1.5 or r > radius - 1.0:
        return GREY
    if r < radius * 0.32:
        return WHITE  # the clear hub ring
    # A rainbow sheen in two opposite sectors, silver elsewhere.
    angle = math.degrees(math.atan2(dy, dx)) % 180.0
    if 20.0 <= angle < 35.0:
        return CYAN
    if 35.0 <= angle < 48.0:
        return MAGENTA
    if 48.0 <= angle < 58.0:
        return YELLOW
    return SILVER


def draw_glyph(pixels, glyph, left, top, scale, colour):
    for row, bits in enumerate(GLYPHS[glyph]):
        for col, bit in enumerate(bits):
            if bit != '1':
                continue
            for sy in range(scale):
                for sx in range(scale):
                    pixels[top + row * scale + sy][left + col * scale + sx] = colour


def picture(glyph, badge):
    """A 50 x 50 picture: a disc with a round badge carrying one glyph."""
    size = 50
    pixels = [[TEAL] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            c = disc_colour(x, y, 21.0, 21.0, 19.5, 3.5)
            if c is not None:
                pixels[y][x] = c
            elif math.hypot(x + 0.5 - 21.0, y + 0.5 - 21.0) < 3.5:
                pixels[y][x] = TEAL
    # The badge in the lower right corner.
    for y in range(size):
        for x in range(size):
            r = math.hypot(x + 0.5 - 36.5, y + 0.5 - 36.5)
            if r <= 12.5:
                pixels[y][x] = BLACK if r > 11.5 else badge
    draw_glyph(pixels, glyph, 32, 30, 2, WHITE)
    return pixels


def write_bmp16(path, pixels):
    height = len(pixels)
    width = len(pixels[0])
    stride = ((width * 4 + 31) // 32) * 4
    rows = bytearray()
    for y in reversed(range(height)):  # bottom-up
        row = bytearray(stride)
        for x in range(width):
            if x % 2 == 0:
                row[x // 2] |= pixels[y][x] << 4
            else:
                row[x // 2] |= pixels[y][x]
        rows += row
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(rows),
                       2835, 2835, 16, 16)
    with open(path, 'wb') as out:
        out.write(header + info + palette + bytes(rows))


def icon_pixels():
    """32 x 32 program icon: a disc with a blue 'T' badge; None = transparent."""
    size = 32
    pixels = [[None] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            c = disc_colour(x, y, 16.0, 16.0, 15.5, 3.0)
            if c is not None:
                pixels[y][x] = PALETTE[c]
    for y in range(size):
        for x in range(size):
            r = math.hypot(x + 0.5 - 23.5, y + 0.5 - 23.5)
            if r <= 8.5:
                pixels[y][x] = (0, 0, 0) if r > 7.6 else (32, 64, 192)
    for row, bits in enumerate(GLYPHS['T']):
        for col, bit in enumerate(bits):
            if bit == '1':
                pixels[20 + row][21 + col] = (255, 255, 255)
    return pixels


def write_ico24(path, pixels):
    size = len(pixels)
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        for x in range(size):
            p = pixels[y][x] or (0, 0, 0)
            xor += bytes((p[2], p[1], p[0]))
        xor += bytes((-(size * 3)) % 4)
        row = bytearray(mask_stride)
        for x in range(size):
            if pixels[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(image), 6 + 16)
    with open(path, 'wb') as out:
        out.write(directory + entry + image)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: make_pictures.py OUTPUT_DIRECTORY\n')
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico24(os.path.join(out, 'icon.ico'), icon_pixels())
    write_bmp16(os.path.join(out, 'picture_help.bmp'), picture('?', BLUE))
    write_bmp16(os.path.join(out, 'picture_about.bmp'), picture('i', DARK_GREEN))
    return 0


if __name__ == '__main__':
    sys.exit(main())
