#!/usr/bin/env python3
"""Damages the archive inside an updater's data section, for the test builds.

    damage_updater.py --tool LZX --work DIR flip|truncate UPDATER

"flip" flips one bit of an entry's data, chosen so that the archive still
decodes without a structural error, and keeps the digest of the intact
archive; "truncate" cuts the archive in half and gives it a digest of its own,
so only its structure is wrong. The PE checksum is made to match again.
"""
import argparse
import os
import struct
import subprocess
import zlib

MAGIC = b'LZXDATA\x1a'


def section(data, name):
    """(file offset, size) of the named section's raw data."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count, optional_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    table = pe + 24 + optional_size
    for i in range(count):
        entry = table + 40 * i
        if data[entry:entry + 8].rstrip(b'\0') == name:
            vsize, _, rawsize, rawptr = struct.unpack_from('<IIII', data, entry + 8)
            return rawptr, min(vsize, rawsize)
    raise SystemExit('no %s section' % name.decode())


def checksum(data):
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    field = pe + 24 + 64
    data[field:field + 4] = b'\0\0\0\0'
    padded = bytes(data) + (b'\0' if len(data) % 2 else b'')
    total = 0
    for (word,) in struct.iter_unpack('<H', padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into('<I', data, field, ((total & 0xFFFF) + (total >> 16)) + len(data))


def sound(tool, work, archive):
    probe = os.path.join(work, 'probe.lzx')
    with open(probe, 'wb') as f:
        f.write(archive)
    ok = subprocess.run([tool, 'test', '-q', 'probe.lzx'], cwd=work, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode == 0
    os.remove(probe)
    return ok


def flip(tool, work, archive):
    """A copy of archive with one bit flipped that the structural check accepts."""
    # Bits spread over the second half, where the coded data of the later
    # entries lies.
    n = len(archive)
    for k in range(64):
        pos = n - 1 - (k * 997) % (n // 2)
        for bit in (0, 3, 6):
            damaged = bytearray(archive)
            damaged[pos] ^= 1 << bit
            if sound(tool, work, bytes(damaged)):
                print('flipped bit %d of byte %d; the structure stays sound' % (bit, pos))
                return bytes(damaged)
    damaged = bytearray(archive)
    damaged[n - 8] ^= 1
    print('flipped bit 0 of byte %d; no flip found that keeps the structure sound' % (n - 8))
    return bytes(damaged)


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--tool', required=True)
    p.add_argument('--work', required=True)
    p.add_argument('damage', choices=['flip', 'truncate'])
    p.add_argument('updater')
    a = p.parse_args()
    with open(a.updater, 'rb') as f:
        data = bytearray(f.read())
    start, size = section(data, b'.lzxpak')
    if data[start:start + 8] != MAGIC:
        raise SystemExit('%s: no updater header in the data section' % a.updater)
    offset, length, digest = struct.unpack_from('<III', data, start + 28)
    archive = bytes(data[start + offset:start + offset + length])
    if a.damage == 'flip':
        data[start + offset:start + offset + length] = flip(a.tool, a.work, archive)
    else:
        struct.pack_into('<II', data, start + 32, length // 2, zlib.crc32(archive[:length // 2]))
    checksum(data)
    tmp = a.updater + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(data)
    os.replace(tmp, a.updater)


if __name__ == '__main__':
    main()
