#!/usr/bin/env python3
"""Builds the benchmark corpus from files every Debian machine has.

Corpus classes (together about 20 to 30 MB):
  text.bin    licence and copyright texts (/usr/share/common-licenses, /usr/share/doc/*/copyright)
  elf.bin     programs of the essential packages from /usr/bin
  image.bmp   an 8-bit page image with white margins and blank rows, generated deterministically;
              every 16,384-byte block holds an all-0xFF row of 64 bytes, so it also packs in mode "wbs"
  sample.bin  the sample update's files, when the build has made them (--sample DIR)
  corpus.bin  the classes above, one after the other (the file of the whole-process comparison)

Worst cases (2 MB each):
  worst-random.bin      incompressible bytes
  worst-equal.bin       one byte value throughout
  worst-period2.bin     "ab" repeated: no run of three, long matches at distance 2
  worst-period16hi.bin  the count bytes 0x80..0x8F cycling: the run-length stage doubles every byte
  worst-noise2.bin      random bytes from a two-letter alphabet: long hash chains of short matches
  worst-sor.bin         255 random rows and one empty row per block: the Sor stage's hardest case

Everything but the text and the programs (which differ between machines) is the same on every run.
"""
import argparse
import glob
import hashlib
import os
import struct
import sys

BLOCK = 16384
MB = 1 << 20

# Programs of Debian's essential packages (coreutils, bash, dash, diffutils, findutils, grep,
# gzip, sed, tar, perl-base, dpkg, util-linux, login, hostname), in a fixed order.
PROGRAMS = """
bash perl tar dpkg find grep sed diff gzip ls cp mv rm ln mkdir chmod chown cat sort uniq
head tail wc cut tr date du df stat touch dd od split csplit expr factor install md5sum
sha256sum sha512sum base64 basename dirname env id printf seq tee test timeout xargs cmp
diff3 sdiff more mount umount dmesg findmnt lsblk login su hostname dpkg-deb dpkg-query
dpkg-split dpkg-divert dpkg-trigger nl pr ptx fmt fold join paste comm tac shuf numfmt
""".split()


def stream(seed, n):
    """n deterministic pseudo-random bytes."""
    return hashlib.shake_256(seed.encode()).digest(n)


class Rand:
    """Small deterministic generator (xorshift32) for the image."""

    def __init__(self, seed):
        self.x = seed or 1

    def next(self):
        x = self.x
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.x = x
        return x

    def below(self, n):
        return self.next() % n


def gather(paths, limit):
    out = bytearray()
    for p in paths:
        if len(out) >= limit:
            break
        try:
            if os.path.isfile(p) and not os.path.islink(p):
                with open(p, "rb") as f:
                    out += f.read(limit - len(out))
        except OSError:
            pass
    return bytes(out)


def texts(limit):
    paths = sorted(glob.glob("/usr/share/common-licenses/*"))
    paths += sorted(glob.glob("/usr/share/doc/*/copyright"))
    return gather(paths, limit)


def programs(limit):
    paths = []
    for name in PROGRAMS:
        p = os.path.realpath("/usr/bin/" + name)
        if p not in paths and os.path.isfile(p):
            with open(p, "rb") as f:
                if f.read(4) == b"\x7fELF":
                    paths.append(p)
    return gather(paths, limit)


def image(width=1024, target=6 * MB):
    """An 8-bit grey page: white background (0xFF), lines of glyph-like words, boxes and one
    smooth picture, with white margins wide enough that every block keeps empty Sor rows."""
    header_size = 14 + 40 + 1024
    height = (target - header_size) // width
    # The last, zero-padded block must still hold empty rows of its own.
    while 0 < (header_size + width * height) % BLOCK < 4096:
        height += 1
    rnd = Rand(12345)
    pix = bytearray(b"\xff" * (width * height))
    margin = 160
    glyphs = []
    for _ in range(64):
        g = []
        for _ in range(12):
            row = rnd.next() & 0xFF
            g.append(bytes(0x20 + rnd.below(40) if row >> (i % 8) & 1 else 0xFF for i in range(8)))
        glyphs.append(g)

    y = 48
    while y + 400 < height - 64:
        kind = rnd.below(10)
        if kind < 7:  # a paragraph of text lines
            for _ in range(4 + rnd.below(12)):
                x = margin
                end = width - margin - rnd.below(200)
                while x + 10 < end:
                    for _ in range(2 + rnd.below(8)):
                        if x + 10 >= end:
                            break
                        g = glyphs[rnd.below(len(glyphs))]
                        for r in range(12):
                            o = (y + r) * width + x
                            pix[o:o + 8] = g[r]
                        x += 9
                    x += 9
                y += 20
            y += 24
        elif kind < 9:  # a framed box with a grey fill
            h = 40 + rnd.below(160)
            w = 200 + rnd.below(width - 2 * margin - 200)
            shade = 0xC0 + rnd.below(0x30)
            for r in range(h):
                o = (y + r) * width + margin
                if r in (0, 1, h - 2, h - 1):
                    pix[o:o + w] = b"\x10" * w
                else:
                    pix[o:o + w] = bytes([0x10, 0x10]) + bytes([shade]) * (w - 4) + bytes([0x10, 0x10])
            y += h + 32
        else:  # a smooth picture
            h = 120 + rnd.below(200)
            w = width - 2 * margin
            for r in range(h):
                o = (y + r) * width + margin
                pix[o:o + w] = bytes(((c * 3 + r * 2 + ((c * r) >> 7)) & 0xFF) // 2 + rnd.below(3) for c in range(w))
            y += h + 32

    palette = b"".join(bytes([i, i, i, 0]) for i in range(256))
    rows = bytearray()
    for r in range(height - 1, -1, -1):  # bottom-up, as the format stores them
        rows += pix[r * width:(r + 1) * width]
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    head = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(palette) + len(rows), 0, 0, header_size)
    return head + info + palette + bytes(rows)


def sample(directory, limit):
    if not directory or not os.path.isdir(directory):
        return b""
    paths = sorted(p for p in glob.glob(os.path.join(directory, "**", "*"), recursive=True))
    return gather(paths, limit)


def noise2(n):
    bits = stream("noise2", n // 8 + 1)
    return bytes(0x61 + (bits[i >> 3] >> (i & 7) & 1) for i in range(n))


def sor_worst(n):
    out = bytearray()
    noise = stream("sor", n)
    blocks = n // BLOCK
    for b in range(blocks):
        block = bytearray(noise[b * BLOCK:(b + 1) * BLOCK])
        empty = (b * 97) % 256
        block[empty * 64:empty * 64 + 64] = b"\xff" * 64
        out += block
    return bytes(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out", nargs="?", default="build/bench/corpus", help="output folder")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--sample", default=os.path.join(here, "..", "payload", "doravo", "files"),
                    help="folder of the sample update's files (default: the repository's payload)")
    ap.add_argument("--text-mb", type=float, default=9)
    ap.add_argument("--elf-mb", type=float, default=9)
    ap.add_argument("--worst-mb", type=float, default=2)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)

    worst = int(args.worst_mb * MB)
    files = {
        "text.bin": texts(int(args.text_mb * MB)),
        "elf.bin": programs(int(args.elf_mb * MB)),
        "image.bmp": image(),
        "sample.bin": sample(args.sample, 8 * MB),
    }
    files["corpus.bin"] = b"".join(files[k] for k in ("text.bin", "elf.bin", "image.bmp", "sample.bin"))
    files.update({
        "worst-random.bin": stream("random", worst),
        "worst-equal.bin": b"A" * worst,
        "worst-period2.bin": b"ab" * (worst // 2),
        "worst-period16hi.bin": bytes(range(0x80, 0x90)) * (worst // 16),
        "worst-noise2.bin": noise2(worst),
        "worst-sor.bin": sor_worst(worst),
    })
    manifest = []
    for name, data in files.items():
        path = os.path.join(args.out, name)
        if not data:
            if os.path.exists(path):
                os.remove(path)
            continue
        with open(path, "wb") as f:
            f.write(data)
        manifest.append("%-22s %10d  %s" % (name, len(data), hashlib.sha256(data).hexdigest()[:16]))
    with open(os.path.join(args.out, "MANIFEST"), "w") as f:
        f.write("\n".join(manifest) + "\n")
    print("\n".join(manifest))
    return 0


if __name__ == "__main__":
    sys.exit(main())
