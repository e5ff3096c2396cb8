#!/usr/bin/env python3
"""lzx make-updater on a small stub made here (a PE32+ image with the sections
and resources of a real one): the product files are checked with file and
line named, all faults at once; the image it writes is consistent; and what is
not a stub is refused with the output left as it was.

    make_updater_test.py LZX WORKDIR
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e'))
import peres  # noqa: E402

FAILURES = []
FA, SA = 0x200, 0x1000
MAGIC = b'LZXDATA\x1a'
DIALOGS = {'update': 1, 'family': 2, 'demo': 3}


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print('FAIL: ' + what)


def align(v, a):
    return (v + a - 1) & ~(a - 1)


def version_block(description):
    """A version resource with one string, laid out as the resource compiler does."""
    def node(key, value, kind, children=b''):
        k = (key + '\0').encode('utf-16-le')
        head = 6 + len(k)
        body = b'\0' * (align(head, 4) - head) + value
        if children:
            body += b'\0' * (align(head + len(body), 4) - head - len(body)) + children
        vlen = len(value) // 2 if kind == 1 else len(value)
        return struct.pack('<HHH', head + len(body), vlen, kind) + k + body
    text = node('FileDescription', (description + '\0').encode('utf-16-le'), 1)
    fixed = struct.pack('<13I', 0xFEEF04BD, 0x10000, 0, 0, 0, 0, 0x3F, 0, 0x40004, 1, 0, 0, 0)
    return node('VS_VERSION_INFO', fixed, 0, node('StringFileInfo', b'', 1, node('041304B0', b'', 1, text)))


def resource_section(rva, leaves):
    """A resource tree of (type, data) leaves, id 1, language 0x413."""
    n = len(leaves)
    root = 16 + 8 * n
    dirs = root + n * 2 * 24
    entries = dirs
    data_at = align(entries + 16 * n, 8)
    out = bytearray(struct.pack('<IIHHHH', 0, 0, 0, 0, 0, n))
    tree, datas = bytearray(), bytearray()
    for i, (kind, _) in enumerate(leaves):
        out += struct.pack('<II', kind, 0x80000000 | (root + i * 48))
    for i in range(n):
        tree += struct.pack('<IIHHHH', 0, 0, 0, 0, 0, 1) + struct.pack('<II', 1, 0x80000000 | (root + i * 48 + 24))
        tree += struct.pack('<IIHHHH', 0, 0, 0, 0, 0, 1) + struct.pack('<II', 0x413, entries + 16 * i)
    out += tree
    at = data_at
    for kind, data in leaves:
        out += struct.pack('<IIII', rva + at, len(data), 0, 0)
        at = align(at + len(data), 8)
    out += b'\0' * (data_at - len(out))
    for _, data in leaves:
        datas += data + b'\0' * (align(len(data), 8) - len(data))
    return bytes(out + datas)


def make_stub(dialog=1, magic=MAGIC, version=1, extra_after=False, with_data=True):
    """A stub: .text, .lzxpak (the header alone), .rsrc, .reloc, and a
    certificate behind the image."""
    header = bytearray(64)
    header[0:8] = magic
    struct.pack_into('<III', header, 8, version, 64, dialog)
    sections = [(b'.text', b'\xc3' * 16, 0x60000020)]
    if with_data:
        sections.append((b'.lzxpak', bytes(header), 0x40000040))
    if extra_after:
        sections.append((b'.data', b'\0' * 8, 0xC0000040))
    rsrc_rva = SA * (len(sections) + 1)
    manifest = b'<assembly/>'
    sections.append((b'.rsrc', resource_section(rsrc_rva, [(16, version_block('stub')), (24, manifest)]),
                     0x40000040))
    sections.append((b'.reloc', struct.pack('<IIHH', SA, 12, 0xA000, 0), 0x42000040))
    table = 0x80 + 24 + 240
    raw = 0x400
    rows, body = [], b''
    for i, (name, data, flags) in enumerate(sections):
        rows.append(struct.pack('<8sIIIIIIHHI', name, len(data), SA * (i + 1), align(len(data), FA), raw, 0, 0, 0, 0,
                                flags))
        body += data + b'\0' * (align(len(data), FA) - len(data))
        raw += align(len(data), FA)
    image = bytearray(0x400)
    image[0:2] = b'MZ'
    struct.pack_into('<I', image, 0x3C, 0x80)
    image[0x80:0x84] = b'PE\0\0'
    struct.pack_into('<HHIIIHH', image, 0x84, 0x8664, len(sections), 0, 0, 0, 240, 0x22)
    o = 0x98
    struct.pack_into('<HBBIIIII', image, o, 0x20B, 2, 30, 0x200, 0x1000, 0, SA, SA)
    struct.pack_into('<QII', image, o + 24, 0x140000000, SA, FA)
    struct.pack_into('<HH', image, o + 48, 5, 2)
    struct.pack_into('<III', image, o + 56, SA * (len(sections) + 1), 0x400, 0)
    struct.pack_into('<HH', image, o + 68, 2, 0x160)
    struct.pack_into('<I', image, o + 108, 16)
    rsrc = len(sections) - 2
    struct.pack_into('<II', image, o + 112 + 16, SA * (rsrc + 1), len(sections[rsrc][1]))
    struct.pack_into('<II', image, o + 112 + 40, SA * (rsrc + 2), 12)
    struct.pack_into('<II', image, o + 112 + 32, raw, 16)  # the certificate
    for i, row in enumerate(rows):
        image[table + 40 * i:table + 40 * i + 40] = row
    return bytes(image) + body + b'\x30' * 16


def checksum(data, field):
    """The PE checksum: 16-bit words summed with the carry folded back, the
    field taken as zero, plus the file's length."""
    length = len(data)
    data = bytearray(data) + (b'\0' if length % 2 else b'')
    data[field:field + 4] = b'\0\0\0\0'
    total = 0
    for (w,) in struct.iter_unpack('<H', bytes(data)):
        total += w
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + length


def check_image(path, archive, product_name):
    """The headers of a written updater agree with its sections and data."""
    with open(path, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count = struct.unpack_from('<H', data, pe + 6)[0]
    o = pe + 24
    table = o + 240
    rows = [struct.unpack_from('<8sIIII', data, table + 40 * i) for i in range(count)]
    for (_, vsize, rva, raw_size, raw), nxt in zip(rows, rows[1:]):
        check(nxt[2] == align(rva + vsize, SA), 'sections follow each other in memory: %r' % (rows,))
        check(nxt[4] == raw + raw_size, 'and in the file')
    last = rows[-1]
    check(len(data) == last[4] + last[3], 'nothing behind the last section (the certificate is dropped)')
    check(struct.unpack_from('<I', data, o + 56)[0] == align(last[2] + last[1], SA), 'SizeOfImage')
    check(struct.unpack_from('<II', data, o + 112 + 32) == (0, 0), 'no certificate directory')
    names = [r[0].rstrip(b'\0') for r in rows]
    rsrc = rows[names.index(b'.rsrc')]
    reloc = rows[names.index(b'.reloc')]
    check(struct.unpack_from('<II', data, o + 112 + 16) == (rsrc[2], rsrc[1]), 'resource directory')
    check(struct.unpack_from('<I', data, o + 112 + 40)[0] == reloc[2], 'relocation directory moved with .reloc')
    file_checksum = struct.unpack_from('<I', data, o + 64)[0]
    check(file_checksum == checksum(data, o + 64), 'PE checksum')
    _, vsize, rva, _, raw = rows[names.index(b'.lzxpak')]
    section = data[raw:raw + vsize]
    check(section[:8] == MAGIC, 'data section header')
    poff, psize, aoff, alen, adigest = struct.unpack_from('<5I', section, 20)
    check(section[aoff:aoff + alen] == archive and adigest == zlib.crc32(archive), 'the archive and its digest')
    check(section[poff:poff + 31].split(b'\0')[0].decode('utf-8') == product_name, 'product name in the data')
    return data


def main():
    tool, work = os.path.abspath(sys.argv[1]), sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    files = os.path.join(work, 'files ü')
    os.makedirs(os.path.join(files, 'sub'))
    with open(os.path.join(files, 'a.txt'), 'w') as f:
        f.write('alpha\n' * 100)
    with open(os.path.join(files, 'sub', 'b.bin'), 'wb') as f:
        f.write(bytes(range(256)) * 10)
    list_file = os.path.join(work, 'update.lst')
    with open(list_file, 'w') as f:
        f.write('upd.lzx\nfiles ü/\na.txt|V=102\n#a.txt\nsub/b.bin|V=102\n#sub\\b.bin\n')
    stubs = {}
    for dialog, number in DIALOGS.items():
        stubs[dialog] = os.path.join(work, 'stub %s.exe' % dialog)
        with open(stubs[dialog], 'wb') as f:
            f.write(make_stub(number))

    def run(stub, product, out='out.exe'):
        p = subprocess.run([tool, 'make-updater', stub, product, 'update.lst', '-o', out], cwd=work,
                           capture_output=True, text=True, encoding='utf-8')
        return p.returncode, p.stderr

    shipped = {'doravo/doravo.product': 'update', 'doravo/marvik.product': 'family', 'demo/demo.product': 'demo'}
    for name, dialog in shipped.items():
        code, err = run(stubs[dialog], os.path.join(ROOT, 'payload', name))
        check(code == 0 and err == '', '%s passes: %s' % (name, err))
    with open(os.path.join(work, 'upd.lzx'), 'rb') as f:
        archive = f.read()
    data = check_image(os.path.join(work, 'out.exe'), archive, 'Doravo')
    res = peres.resources(os.path.join(work, 'out.exe'))
    version = [v for (kind, _, _), v in res.items() if kind == peres.RT_VERSION]
    check(len(version) == 1, 'one version resource')
    file_version, product_version, strings = peres.version_strings(version[0])
    check(file_version == (1, 1, 0, 0) and product_version == (1, 1, 0, 0), 'version numbers %r' % (file_version,))
    check(strings.get('ProductName') == 'Vexa Demo' and strings.get('OriginalFilename') == 'VexaDemoSetup.exe',
          'version strings: %r' % strings)
    check([v for (kind, _, _), v in res.items() if kind == 24] == [b'<assembly/>'], 'the other resources kept')
    check(b'stub'.decode() not in strings.get('FileDescription', ''), 'no trace of the stub\'s version resource')
    del data

    with open(os.path.join(ROOT, 'payload', 'doravo', 'doravo.product'), encoding='utf-8') as f:
        good = f.read().split('\n')

    def line_of(field):
        return next(i for i, l in enumerate(good) if l.startswith(field + ' ')) + 1

    # (what, edit of the good file, dialog, fragments the message must hold)
    cases = [
        ('name too long', {'name': 'N' * 31}, 'update', ['31 characters', 'at most 30']),
        ('name at the limit', {'name': 'N' * 30}, 'update', None),
        ('non-ASCII name within 30 bytes', {'name': 'Доравo'}, 'update', None),
        ('backslash in name', {'name': 'Do\\ravo'}, 'update', ['registry key']),
        ('unescaped ampersand', {'copyright': 'Copyright 2003 Vexa & Zonen'}, 'update', ['unescaped "&"']),
        ('escaped ampersand', {'copyright': 'Copyright 2003 Vexa && Zonen'}, 'update', None),
        ('too wide for its control', {'update-line.en': 'Update Doravo to the very newest version'}, 'update',
         ['too long for its control']),
        ('fits the Vexa dialog, not the family one', {'copyright': 'Copyright 2003 Vexa Software B.V. Holland'},
         'family', ['too long for its control in the family dialog']),
        ('bad version numbers', {'version-numbers': '1.1.0'}, 'update', ['four numbers']),
        ('non-ASCII in the version resource', {'company': 'Vexa Softwäre'}, 'update', ['plain ASCII']),
        ('missing field', {'web.en': None}, 'update', [':0: missing field "web.en"']),
        ('empty field', {'team.nl': ''}, 'update', ['field "team.nl" is empty']),
        ('unknown field', {'mail.de': 'E-mail: x@y.test'}, 'update', ['unknown field "mail.de"']),
        ('text longer than its array', {'team.en': 'x' * 32}, 'demo', ['32 bytes, more than the 31']),
    ]
    for what, edit, dialog, expect in cases:
        lines = list(good)
        field = next(iter(edit))
        value = edit[field]
        try:
            number = line_of(field)
        except StopIteration:
            lines.append('%s = %s' % (field, value))
            number = len(lines)
        else:
            if value is None:
                lines[number - 1] = '# removed'
            else:
                lines[number - 1] = '%s = %s' % (field, value)
        path = os.path.join(work, 'bad product ü.product')
        with open(path, 'w', encoding='utf-8') as f:
            f.write('\n'.join(lines))
        if os.path.exists(os.path.join(work, 'out.exe')):
            os.remove(os.path.join(work, 'out.exe'))
        code, err = run(stubs[dialog], path)
        if expect is None:
            check(code == 0 and err == '', '%s is accepted: %s' % (what, err))
            continue
        check(code == 2, '%s is refused (exit %d)' % (what, code))
        check(not os.path.exists(os.path.join(work, 'out.exe')), '%s: no output' % what)
        where = '%s:%d: ' % (path, 0 if value is None else number)
        check(where in err, '%s names file and line %r: %s' % (what, where, err))
        for fragment in expect:
            check(fragment in err, '%s says %r: %s' % (what, fragment, err))
    # Several faults are all reported, and a second line of a field is one.
    lines = good + ['name = Ander', 'member = Teamlid E']
    lines[line_of('mail.nl') - 1] = 'mail.nl = E-mail: A&B'
    path = os.path.join(work, 'many.product')
    with open(path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(lines))
    code, err = run(stubs['update'], path)
    faults = [l for l in err.split('\n') if re.search(r'many\.product:\d+: ', l)]
    check(code == 2 and len(faults) == 3, 'three faults, three lines: %s' % err)
    check('3 faults in the product file' in err, 'and a count: ' + err)
    check('given again (first on line %d)' % line_of('name') in err, 'a repeated field: ' + err)
    check('room for 4 team members' in err, 'too many team members: ' + err)
    # Bytes that are not UTF-8 name their line.
    path = os.path.join(work, 'latin.product')
    with open(path, 'wb') as f:
        f.write('\n'.join(good).replace('Teamlid C', 'Teamlid \xe7').encode('latin-1'))
    code, err = run(stubs['update'], path)
    check(code == 2 and '%s:%d: not UTF-8 text' % (path, line_of('member') + 2) in err, 'not UTF-8: ' + err)
    cases_count = len(cases) + len(shipped) + 2

    # What is not a stub is refused before anything is packed, and an
    # existing output stays as it was.
    product = os.path.join(ROOT, 'payload', 'doravo', 'doravo.product')
    out = os.path.join(work, 'existing.exe')
    not_stubs = {
        'a text file': (b'MZ is not enough\n' * 10, 'no PE header'),
        'no data section': (make_stub(with_data=False), 'no .lzxpak data section'),
        'wrong magic': (make_stub(magic=b'LZXDATA\x1b'), 'no updater header'),
        'a later format': (make_stub(version=2), 'format version'),
        'a section behind the data that cannot move': (make_stub(extra_after=True), 'other than .rsrc and .reloc'),
    }
    for what, (content, fragment) in not_stubs.items():
        with open(out, 'wb') as f:
            f.write(b'old output')
        bad = os.path.join(work, 'bad stub.exe')
        with open(bad, 'wb') as f:
            f.write(content)
        code, err = run(bad, product, out)
        check(code == 2 and err.startswith('lzx: ') and 'is not an updater stub' in err and fragment in err,
              '%s is refused: %d %s' % (what, code, err))
        with open(out, 'rb') as f:
            check(f.read() == b'old output', '%s: the existing output is unchanged' % what)
        check(sorted(os.listdir(work)) == sorted(set(os.listdir(work))) and
              not [n for n in os.listdir(work) if n.startswith('existing.exe') and n != 'existing.exe'] and
              not [n for n in os.listdir(work) if '~' in n], '%s: no scratch file left' % what)
    cases_count += len(not_stubs)
    # An updater made before serves as a stub again: its data is replaced.
    code, err = run(stubs['update'], product, 'first.exe')
    code2, err2 = run(os.path.join(work, 'first.exe'), product, 'again.exe')
    check(code == 0 and code2 == 0, 'an updater as the stub: %s %s' % (err, err2))
    with open(os.path.join(work, 'first.exe'), 'rb') as f, open(os.path.join(work, 'again.exe'), 'rb') as g:
        check(f.read() == g.read(), 'the same updater again')
    print('%d make-updater cases' % (cases_count + 1))
    return 1 if FAILURES else 0


if __name__ == '__main__':
    sys.exit(main())
