#!/usr/bin/env python3
"""Writes a large update for the kill campaign: OUT/update.lst and OUT/files/,
48 files in 6 directories, 32 MB in all. The contents repeat under a kilobyte
of noise per file (inside the LZ window), so the archive that the updater embeds stays small while
the run still writes every byte.

    make_large_update.py OUT
"""
import os
import random
import sys

FILES = 48
SIZE = 32 * 1024 * 1024


def main():
    out = sys.argv[1]
    files = os.path.join(out, 'files')
    lines = ['large.lzx', 'files/']
    rng = random.Random(1301)
    sizes = [rng.randint(1, 100) for _ in range(FILES)]
    scale = SIZE / sum(sizes)
    for i, weight in enumerate(sizes):
        rel = 'dir%d/file%02d.bin' % (i % 6, i)
        path = os.path.join(files, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        block = bytes(rng.getrandbits(8) for _ in range(400 + i * 9))  # within the LZ window
        n = int(weight * scale)
        data = (block * (n // len(block) + 1))[:n]
        old = None
        if os.path.exists(path):
            with open(path, 'rb') as f:
                old = f.read()
        if old != data:  # kept as it is, so that the build does not repack
            with open(path, 'wb') as f:
                f.write(data)
        lines += ['%s|V=101' % rel, '#' + rel.replace('/', '\\')]
    text = '\n'.join(lines) + '\n'
    list_path = os.path.join(out, 'update.lst')
    if not os.path.exists(list_path) or open(list_path).read() != text:
        with open(list_path, 'w') as f:
            f.write(text)


if __name__ == '__main__':
    main()
