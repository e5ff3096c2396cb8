#!/usr/bin/env python3
"""Seed corpus of the fuzz targets.

From the library's worked examples (abracadabra coded by each coder, a small
compressed file), from files that the lzx tool compresses in all three modes,
and from sample archives that it packs: one with the kinds of entry the
updater meets, one of many entries in many directories, and one larger than
1 MB (so that a long run's inputs grow to that size). Blocks are cut out of
the compressed files in the form each block decoder's target reads.

usage: make-seeds.py LZX_TOOL OUTDIR
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

BLOCK = 16384

# abracadabra: coded by the LZ coder (170 bits) and the Huffman-only coder
# (155 bits), and as a whole compressed file.
LZ_EXAMPLE = (170, bytes.fromhex("20440000000000000058fcdbab9fbe5f9e5f25af6e02"))
HUF_EXAMPLE = (155, bytes.fromhex("2027000000000000009 0fadd1ba8df9f69396f01".replace(" ", "")))
FILE_EXAMPLE = bytes.fromhex(
    "4c5a583139000000" "0b00000000000000" "24010000"
    "2046010000000000" "0090d6af0e50d1f1" "e88ffbfe8c73bb6e" "77cff8a3afafafaf" "afaf2fff02"
    "10000000")


def rle_pack(block):
    """The run-length form of one block, or the block itself if it does not shrink."""
    out = bytearray()
    i = 0
    while i < len(block):
        c = block[i]
        k = 1
        if i + 2 < len(block) and block[i + 1] == c and block[i + 2] == c:
            k = 3
            while k < 16 and i + k < len(block) and block[i + k] == c:
                k += 1
        if k > 1 or 0x80 <= c <= 0x8F:
            out.append(k + 0x7F)
        out.append(c)
        i += k
    return bytes(out) if len(out) < BLOCK else bytes(block)


def blocks_of(lzx):
    """(flags, sor table bytes, bit count, coded bytes) of every block of an LZX1 file."""
    magic, index, length, flags = struct.unpack_from("<4siii", lzx)
    assert magic == b"LZX1"
    pos = 16
    while pos < index:
        table = b""
        if flags & 2:
            n = lzx[pos]
            table = lzx[pos:pos + 1 + n]
            pos += 1 + n
        (bits,) = struct.unpack_from("<i", lzx, pos)
        pos += 4
        coded = lzx[pos:pos + (bits + 7) // 8]
        pos += len(coded)
        yield flags, table, bits, coded


def bit_seed(bits, coded):
    # The decoder targets read a padding count (0..7) and then the coded bytes.
    return bytes([(-bits) % 8]) + coded


def sample_files(root):
    """Files of several kinds: text, repeats, zeros, noise, 0xFF rows for the Sor stage."""
    files = {}
    text = b"".join(b"line %d of a small text file, with some repeats repeats repeats\r\n" % i for i in range(900))
    files["text.txt"] = text
    files["zeros.bin"] = bytes(BLOCK + 100)
    state = 12345
    noise = bytearray()
    for _ in range(3000):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        noise.append(state >> 16 & 0xFF)
    files["noise.bin"] = bytes(noise)
    rows = bytearray()
    for r in range(256 * 2):
        rows += b"\xff" * 64 if r % 3 == 0 else bytes((r + c) & 0x7F for c in range(64))
    files["rows.bin"] = bytes(rows)
    files["empty"] = b""
    files["tiny"] = b"abracadabra"
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    return files


def main():
    tool, out = sys.argv[1], sys.argv[2]
    targets = ["lzx_unpack", "huf_unpack", "rle_unpack", "sor_unpack", "recv_lens", "hile_reader", "unpack",
               "unpack_table", "differential", "parallel_reader", "stub_reader", "unpack_threads"]
    for t in targets:
        os.makedirs(os.path.join(out, t), exist_ok=True)

    def seed(target, name, data):
        with open(os.path.join(out, target, name), "wb") as f:
            f.write(data)

    seed("lzx_unpack", "abracadabra", bit_seed(*LZ_EXAMPLE))
    # The differential target: a first byte for what follows (see differential.cpp).
    seed("differential", "pack-abracadabra", b"\0abracadabra")
    seed("differential", "lz-abracadabra", b"\1" + bit_seed(*LZ_EXAMPLE))
    seed("differential", "huf-abracadabra", b"\2" + bit_seed(*HUF_EXAMPLE))
    seed("huf_unpack", "abracadabra", bit_seed(*HUF_EXAMPLE))
    seed("recv_lens", "abracadabra-lz", b"\0" + LZ_EXAMPLE[1])
    seed("recv_lens", "abracadabra-huf", b"\1" + HUF_EXAMPLE[1])
    seed("rle_unpack", "abracadabra", rle_pack(b"abracadabra" + bytes(BLOCK - 11)))
    seed("hile_reader", "abracadabra.lzx", FILE_EXAMPLE)
    # A stub as lzx make-updater's test makes one, for each dialog.
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "product"))
    import make_updater_test
    for dialog in (1, 2, 3):
        seed("stub_reader", "stub-%d.exe" % dialog, make_updater_test.make_stub(dialog))
    # The row example: rows 9, 5 and 200, columns interleaved.
    sor = bytearray(b"\xff\x01\x01" * 60 + b"\x07\x01\x01" * 3 + b"\x07\x01\x02")
    seed("sor_unpack", "three-rows", bytes([3, 9, 5, 200]) + bytes(sor))

    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "src")
        os.makedirs(src)
        files = sample_files(src)
        for name, data in files.items():
            for i in range(0, max(len(data), 1), BLOCK):
                piece = data[i:i + BLOCK]
                if piece:
                    seed("rle_unpack", "%s-%d" % (name, i // BLOCK), rle_pack(piece + bytes(BLOCK - len(piece))))
                    seed("differential", "pack-%s-%d" % (name, i // BLOCK), b"\0" + piece)
                    seed("differential", "block-%s-%d" % (name, i // BLOCK), b"\4" + piece)
        modes = {"wb": "lzx_unpack", "wbh": "huf_unpack", "wbs": "lzx_unpack"}
        for name in files:
            for mode, target in modes.items():
                if mode == "wbs" and name != "rows.bin":
                    continue  # every block of a Sor file needs an empty row
                lzx = os.path.join(work, "%s.%s.lzx" % (name, mode))
                subprocess.run([tool, "compress", "--mode", mode, os.path.join(src, name), lzx], check=True,
                               stdout=subprocess.DEVNULL)
                data = open(lzx, "rb").read()
                seed("hile_reader", os.path.basename(lzx), data)
                for k, (flags, table, bits, coded) in enumerate(blocks_of(data)):
                    tag = "%s.%s.%d" % (name, mode, k)
                    seed(target, tag, bit_seed(bits, coded))
                    seed("differential", tag, (b"\1" if target == "lzx_unpack" else b"\2") + bit_seed(bits, coded))
                    seed("recv_lens", tag, bytes([1 if flags & 1 else 0]) + coded)
                    if table:
                        seed("sor_unpack", tag, table + b"\xff" * 64)
        # A sample archive with the kinds of entry the updater meets.
        lst = os.path.join(work, "list.txt")
        archive = os.path.join(work, "sample.lzx")
        with open(lst, "w") as f:
            f.write(archive + "\n" + src + "/\n")
            f.write("text.txt|V=101\n#a\n")
            f.write("noise.bin|V=101|E=1\n#d\\b\n")
            f.write("empty|V=102|R=1\n#e\\f\\empty\n")
            f.write("rows.bin|V=101|D=1\n#rows\n")
            f.write("tiny|V=300\n#tiny\n")
        subprocess.run([tool, "pack", lst], check=True, stdout=subprocess.DEVNULL)
        data = open(archive, "rb").read()
        for t in ("unpack", "unpack_table", "hile_reader"):
            seed(t, "sample.lzx", data)
        seed("unpack", "abracadabra.lzx", FILE_EXAMPLE)

        # Many entries: 300 small files in 30 directories, every option, some
        # names the version table of unpack_table knows.
        many = os.path.join(work, "many.lzx")
        with open(lst, "w") as f:
            f.write(many + "\n" + src + "/\n")
            f.write("tiny|V=101\n#a\n" "tiny|V=150\n#d\\b\n")
            for i in range(300):
                source = ("tiny", "empty", "text.txt", "rows.bin")[i % 4] if i % 50 else "noise.bin"
                options = "|E=1" if i % 7 == 0 else "|D=1" if i % 11 == 0 else "|R=1" if i % 13 == 0 else ""
                f.write("%s|V=%d%s\n#dir%02d\\f%03d\n" % (source, 100 + i % 5, options, i % 30, i))
        subprocess.run([tool, "pack", lst], check=True, stdout=subprocess.DEVNULL)
        data = open(many, "rb").read()
        for t in ("unpack", "unpack_table", "hile_reader"):
            seed(t, "many.lzx", data)

        # Larger than 1 MB: noise that does not shrink, beside text that does.
        state, noise = 99991, bytearray()
        for _ in range(1100000):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise.append(state >> 16 & 0xFF)
        with open(os.path.join(src, "big.bin"), "wb") as f:
            f.write(noise)
        big = os.path.join(work, "big.lzx")
        with open(lst, "w") as f:
            f.write(big + "\n" + src + "/\n" "big.bin|V=101\n#big\\noise.bin\n" "text.txt|V=101\n#a\n")
        subprocess.run([tool, "pack", lst], check=True, stdout=subprocess.DEVNULL)
        data = open(big, "rb").read()
        assert len(data) > 1 << 20
        for t in ("unpack", "unpack_table", "hile_reader"):
            seed(t, "big.lzx", data)

    # The readers on two threads read what those on one read.
    for one, two in (("hile_reader", "parallel_reader"), ("unpack", "unpack_threads")):
        for name in os.listdir(os.path.join(out, one)):
            shutil.copyfile(os.path.join(out, one, name), os.path.join(out, two, name))


if __name__ == "__main__":
    main()
