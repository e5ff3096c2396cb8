"""Reads the resources of a PE file: the manifest, the version resource and
the icon groups, straight from the file's bytes."""
import struct

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def resources(path):
    """{(type, id, language): bytes} of every resource with numeric ids."""
    with open(path, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('%s: not a PE file' % path)
    sections, optional_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    root_rva, _ = struct.unpack_from('<II', data, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, vaddr, rawsize, rawptr = struct.unpack_from('<IIII', data, table + 40 * i + 8)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def at(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise ValueError('RVA %#x outside the sections' % rva)

    root = at(root_rva)
    out = {}

    def walk(offset, ids):
        named, numbered = struct.unpack_from('<HH', data, offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from('<II', data, offset + 16 + 8 * i)
            if name & 0x80000000:
                continue  # named entries: the program uses none
            if target & 0x80000000:
                walk(root + (target & 0x7FFFFFFF), ids + (name,))
            else:
                rva, size = struct.unpack_from('<II', data, root + target)
                out[ids + (name,)] = data[at(rva):at(rva) + size]

    walk(root, ())
    return out


def version_strings(block):
    """(file version, product version, {name: value}) of a version resource."""
    strings = {}
    fixed = {}

    def node(offset):
        length, value_length, kind = struct.unpack_from('<HHH', block, offset)
        end = offset + length
        p = offset + 6
        key_end = p
        while block[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = block[p:key_end].decode('utf-16-le')
        p = (key_end + 2 + 3) & ~3
        if key == 'VS_VERSION_INFO' and value_length:
            signature, _, fms, fls, pms, pls = struct.unpack_from('<6I', block, p)
            if signature == 0xFEEF04BD:
                fixed['file'] = (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF)
                fixed['product'] = (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
            p = (p + value_length + 3) & ~3
        elif kind == 1 and value_length:  # a string value: length in characters
            strings[key] = block[p:p + 2 * value_length].decode('utf-16-le').rstrip('\0')
            return end
        elif value_length:
            p = (p + value_length + 3) & ~3
        while p < end:
            p = (node(p) + 3) & ~3
        return end

    node(0)
    return fixed.get('file'), fixed.get('product'), strings


def icon_group_sizes(block):
    """The pixel sizes of an icon group's images (0 in the entry means 256)."""
    count = struct.unpack_from('<HHH', block, 0)[2]
    return sorted(block[6 + 14 * i] or 256 for i in range(count))


def symbol_count(path):
    """The COFF symbol count of the image: 0 once stripped."""
    with open(path, 'rb') as f:
        data = f.read(4096)
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    return struct.unpack_from("<I", data, pe + 16)[0]
