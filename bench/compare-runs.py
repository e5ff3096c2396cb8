#!/usr/bin/env python3
"""Puts the closing tables of two lzx_bench runs side by side as Markdown:

  bench/compare-runs.py BEFORE.txt AFTER.txt [FILE...]

Each row: file, operation, MB/s before and after, the ratio to zlib before and after, and the
coded size (which must not change). Only the named files are shown (default: all)."""
import sys


def table(path):
    rows, on = {}, False
    for line in open(path):
        if line.startswith("file ") and "operation" in line:
            on = True
            continue
        if on and line.startswith("corpus ("):
            break
        parts = line.split()
        if on and len(parts) >= 3:
            rows[(parts[0], parts[1])] = parts[2:]
    return rows


def main():
    before, after = table(sys.argv[1]), table(sys.argv[2])
    files = sys.argv[3:]
    print("| file | operation | MB/s before | MB/s after | vs zlib before | vs zlib after | coded bytes |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for key, a in after.items():
        if files and key[0] not in files:
            continue
        b = before.get(key, ["-"])
        vs = lambda r: r[1] if len(r) > 1 and r[1].endswith("x") else ""
        size = a[2] if len(a) > 2 and a[1].endswith("x") else (a[1] if len(a) > 1 and not a[1].endswith("x") else "")
        print("| %s | %s | %s | %s | %s | %s | %s |" % (key[0], key[1], b[0], a[0], vs(b), vs(a), size))


if __name__ == "__main__":
    main()
