#!/usr/bin/env python3
"""Writes the updater's icons: 32 x 32 images, 16 or 256 colours.

    make_icons.py OUTDIR

1001 (16 colours)  the program file's icon: a box with a downward arrow
1002 (256 colours) the demo dialog: a shaded disc with a play triangle
1004 (16 colours)  the Marvik dialog: a diamond
1006 (256 colours) the Vexa-line dialog: a shaded square with an upward arrow
"""
import os
import struct
import sys

SIZE = 32

# The 16 colours of the classic VGA palette, as (r, g, b).
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def ico(pixels, palette, bpp):
    """pixels: SIZE rows (top first) of palette indices, None = transparent."""
    colours = 1 << bpp
    pal = palette + [(0, 0, 0)] * (colours - len(palette))
    row_bytes = (SIZE * bpp + 31) // 32 * 4
    mask_bytes = (SIZE + 31) // 32 * 4
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
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, bpp, 0, len(xor) + len(andmask), 0, 0, colours, 0)
    palbytes = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in pal)
    image = header + palbytes + bytes(xor) + bytes(andmask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, colours if colours < 256 else 0, 0, 1, bpp, len(image), 6 + 16)
    return directory + entry + image


def grid(f):
    return [[f(x, y) for x in range(SIZE)] for y in range(SIZE)]


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
        1001: ico(grid(box_down), VGA16, 4),
        1002: ico(grid(disc_play), shades((40, 160, 60)), 8),
        1004: ico(grid(diamond), VGA16, 4),
        1006: ico(grid(square_up), shades((40, 80, 200)), 8),
    }
    for number, data in icons.items():
        with open(os.path.join(out, 'icon%d.ico' % number), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
