#!/usr/bin/env python3
"""Hostile archives through the lzx tool.

Each archive carries a good entry first and then one that must be refused:
names that leave the installation or name no file, a name without its NUL,
sizes that run past the stream, and a damaged header, block or index.
`lzx test` and `lzx unpack --table` must both end with exit 2 and the
expected message, and the installation must be exactly as it was: not even
the good entry is written, the version file is untouched, and nothing appears
anywhere else.

usage: hostile.py LZX_TOOL WORKDIR
"""
import os
import shutil
import struct
import subprocess
import sys

from campaign import snapshot

RECORD = 432
failures = []


def record(name, size, version=101):
    raw = name if isinstance(name, bytes) else name.encode()
    r = bytearray(RECORD)
    r[:len(raw)] = raw
    struct.pack_into("<iii", r, 256, size, version, 0)
    return bytes(r)


def main():
    tool, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    def run(args, cwd):
        return subprocess.run([tool] + args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)

    def compress(stream, name):
        raw = os.path.join(work, "stream.bin")
        with open(raw, "wb") as f:
            f.write(stream)
        arc = os.path.join(work, name)
        # Named from the working directory: a compressed file's name holds 79
        # characters, wherever the build folder is.
        r = run(["compress", "stream.bin", name], work)
        assert r.returncode == 0, r.stderr
        with open(arc, "rb") as f:
            return f.read()

    good = record("#good.txt", 5) + b"hello"
    version = record("#good.txt", 0, 100) + record("#data", 0, 100)

    def refused(case, archive, message, test_too=True):
        inst = os.path.join(work, "install")
        cwd = os.path.join(work, "cwd")
        shutil.rmtree(inst, ignore_errors=True)
        shutil.rmtree(cwd, ignore_errors=True)
        os.makedirs(os.path.join(inst, "data"))
        os.makedirs(cwd)
        with open(os.path.join(inst, "good.txt"), "wb") as f:
            f.write(b"old")
        with open(os.path.join(inst, "lzx.ver"), "wb") as f:
            f.write(version)
        arc = os.path.join(work, "hostile.lzx")
        with open(arc, "wb") as f:
            f.write(archive)
        before = snapshot(inst)
        outside = sorted(os.listdir(work))
        arc = os.path.relpath(arc, cwd)
        for args in (["test", arc], ["unpack", arc, inst, "--table", os.path.join(inst, "lzx.ver")]):
            r = run(args, cwd)
            if args[0] == "test" and not test_too:
                continue
            err = r.stderr.decode(errors="replace")
            if r.returncode != 2 or message not in err:
                failures.append("%s: lzx %s ended with %d: %r (expected %r)" % (case, args[0], r.returncode,
                                                                               err.strip()[:150], message))
        if snapshot(inst) != before:
            failures.append("%s: the installation changed" % case)
        if os.listdir(cwd) or sorted(os.listdir(work)) != outside:
            failures.append("%s: something was written outside the installation" % case)

    def bad_entry(case, rec, payload, message, test_too=True):
        refused(case, compress(good + rec + payload, "h.lzx"), message, test_too)

    # Names.
    for name in ["#..\\evil", "#a\\..\\..\\evil", "#a/../../evil", "#C:\\evil", "#C:evil", "#\\evil", "#/evil",
                 "#\\\\server\\share\\evil", "#good.txt:stream", "#a\\.. \\evil", "#"]:
        bad_entry("name %r" % name, record(name, 1), b"x", "unsafe name")
    # Names that are no file of their own: the installation directory itself,
    # a directory, a name ending in a separator.
    for name in ["#.", "#data\\", "#data\\.", "#.\\", "#new\\"]:
        bad_entry("name %r" % name, record(name, 1), b"x", "unsafe name")
    # A directory of the installation: only the unpack knows the installation.
    bad_entry("name of a directory", record("#data", 1), b"x", "target is a directory", test_too=False)
    bad_entry("name without NUL", record(b"#" + b"a" * 255, 1), b"x", "name not terminated")
    # Sizes.
    bad_entry("size past the stream", record("#big", 5000), b"x", "unexpected eof")
    bad_entry("size 2^31 - 1", record("#big", 0x7FFFFFFF), b"x", "unexpected eof")
    bad_entry("negative size", record("#neg", -1), b"x", "unexpected eof")
    bad_entry("record cut short", b"#cut\0" + bytes(100), b"", "target fail")

    # Damaged headers, blocks and index of an otherwise good archive.
    big = good + record("#more.bin", 40000) + bytes(range(256)) * 156 + bytes(64)
    base = compress(big, "b.lzx")
    index = struct.unpack_from("<i", base, 4)[0]

    def patched(offset, value):
        b = bytearray(base)
        struct.pack_into("<i", b, offset, value)
        return bytes(b)

    refused("bit count beyond BitBuf", patched(16, 32768 * 8 + 8), "bad bit count")
    refused("negative bit count", patched(16, -1), "bad bit count")
    refused("index offset into the header", patched(4, 8), "bad index offset")
    refused("index offset backwards into the blocks", patched(4, index - 4), "bad index offset")
    refused("index offset beyond the file", patched(4, len(base) + 100), "bad index offset")
    refused("length 2^31 - 1", patched(8, 0x7FFFFFFF), "bad length")
    refused("index entry backwards", patched(index + 4, 16), "Hfill")
    refused("index entry beyond the file", patched(index + 8, len(base) * 2), "Hfill")
    refused("unknown flags", patched(12, 8), "bad flags")
    refused("not an archive", b"PK\3\4" + base[4:], "not an LZX file")

    for f in failures:
        print("  " + f)
    print("hostile: %d failures" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
