#!/usr/bin/env python3
"""Writes the updater's icons, each with images of 16, 32 and 48 pixels (16 or
256 colours) and one of 256 pixels (32-bit PNG, as the shell takes it). The
shapes are drawn on a 32-pixel grid; the other sizes sample it.

    make_icons.py OUTDIR

1001 (16 colours)  the program file's icon: a box with a downward arrow
1002 (256 colours) the demo dialog: a shaded disc with a play triangle
1004 (16 colours)  the Marvik dialog: a diamond
1006 (256 colours) the Vexa-line dialog: a shaded square with an upward arrow
"""
import os
import struct
import sys
import zlib

SIZE = 32  # the grid the shapes are drawn on
SIZES = (16, 32, 48)
PNG_SIZE = 256

# The 16 colours of the classic VGA palette, as (r, g, b).
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def bitmap(pixels, palette, bpp):
    """One icon image: pixels is a square of rows (top first) of palette
    indices, None = transparent."""
    size = len(pixels)
    colours = 1 << bpp
    pal = palette + [(0, 0, 0)] * (colours - len(palette))
    row_bytes = (size * bpp + 31) // 32 * 4
    mask_bytes = (size + 31) // 32 * 4
    xor = bytearray()
    andmask = bytearray()
    for row in reversed(pixels):  # bottom-up
        bits = bytearray(row_bytes)
        mbits = bytearray(mask_bytes)
        for x, p in enumerate(row):
            if p is None:
                mbits[x // 8] |= 0x80 >> (x % 8)
                p = 0
            if bpp == 4:
                bits[x // 2] |= p << (4 if x % 2 == 0 else 0)
            else:
                bits[x] = p
        xor += bits
        andmask += mbits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, len(xor) + len(andmask), 0, 0, colours, 0)
    palbytes = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in pal)
    return header + palbytes + bytes(xor) + bytes(andmask)


def png(pixels, palette):
    """A 32-bit RGBA PNG of the pixels."""
    size = len(pixels)
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for p in row:
            raw += bytes((0, 0, 0, 0)) if p is None else bytes(palette[p] + (255,))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def ico(shape, palette, bpp):
    """The icon file: the shape at every size, smallest first."""
    images = [(n, bitmap(grid(shape, n), palette, bpp), bpp) for n in SIZES]
    images.append((PNG_SIZE, png(grid(shape, PNG_SIZE), palette), 32))
    colours = 1 << bpp
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data, bits in images:
        out += struct.pack('<BBBBHHII', n % 256, n % 256, colours if bits < 8 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data, _ in images)


def grid(f, size):
    """The shape drawn on the 32-pixel grid, sampled at size pixels."""
    return [[f(x * SIZE // size, y * SIZE // size) for x in range(size)] for y in range(size)]


def box_down(x, y):  # 1001
    if 4 <= x < 28 and 18 <= y < 28:
        return 0 if x in (4, 27) or y in (18, 27) else 7
    if 13 <= x < 19 and 2 <= y < 10:
        return 12
    if 10 <= y < 18 and abs(x - 15.5) <= 17.5 - y:  # the arrow's head, narrowing downward
        return 12
    return None


def diamond(x, y):  # 1004
    d = abs(x - 15.5) + abs(y - 15.5)
    if d < 13:
        return 2 if d < 11 else 0
    return None


def shades(base):
    """256-colour palette: black, white, then 254 steps of base from dark to light."""
    pal = [(0, 0, 0), (255, 255, 255)]
    for i in range(254):
        t = i / 253
        pal.append(tuple(int(c * (0.35 + 0.65 * t) + 255 * max(0, t - 0.8) * 0.5) for c in base))
    return pal


def disc_play(x, y):  # 1002
    dx, dy = x - 15.5, y - 15.5
    r2 = dx * dx + dy * dy
    if r2 > 14.5 * 14.5:
        return None
    if -6 <= dx <= 8 and abs(dy) <= (8 - dx) * 0.55:
        return 1
    return 2 + int(253 * (1 - (x + y) / 62))


def square_up(x, y):  # 1006
    if not (2 <= x < 30 and 2 <= y < 30):
        return None
    if x in (2, 29) or y in (2, 29):
        return 0
    if 13 <= x < 19 and 14 <= y < 26:
        return 1
    if 6 <= y < 14 and abs(x - 15.5) <= (y - 5):
        return 1
    return 2 + int(253 * (1 - y / 31))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    icons = {
        1001: ico(box_down, VGA16, 4),
        1002: ico(disc_play, shades((40, 160, 60)), 8),
        1004: ico(diamond, VGA16, 4),
        1006: ico(square_up, shades((40, 80, 200)), 8),
    }
    for number, data in icons.items():
        with open(os.path.join(out, 'icon%d.ico' % number), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
