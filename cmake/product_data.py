#!/usr/bin/env python3
"""Reads a product file (the data of one updater: name, version, the dialog's
product lines, the version resource) and writes the header the build compiles
into that updater.

    product_data.py PRODUCTFILE --dialog update|family|demo [--out HEADER]

Without --out the file is only checked. Every fault is reported as
"FILE:LINE: what is wrong" (line 0 for a field that is missing), all of them,
and the exit code is 1.

The header holds plain macros of string literals and numbers, so both the
C++ compiler (updater/product.cpp) and the resource compiler (the version
resource) read it.
"""
import argparse
import re
import sys

# Texts the dialog shows, with the width of their control in dialog units for
# each dialog template: (field, array size in the program, widths). A field
# that a dialog does not show has no width there.
NAME_MAX = 30
DIALOG_FIELDS = {
    'update-line': (64, {'update': 138, 'family': 138, 'demo': 138}),
    'version-line': (64, {'update': 138, 'family': 138, 'demo': 138}),
    'copyright': (64, {'update': 201, 'family': 112, 'demo': 201}),
    # A group box's title: its width less the frame at both ends.
    'team': (32, {'update': 75, 'family': 71, 'demo': 75}),
    'mail': (64, {'update': 96, 'family': (100, 80), 'demo': 96}),
    'web': (64, {'update': 96, 'family': (106, 96), 'demo': 96}),
}
# The team lines of each template, in order.
MEMBER_SIZE = 32
MEMBER_WIDTHS = {'update': (68, 64, 60, 64), 'family': (64,) * 6, 'demo': (68, 64, 60, 64)}
RESOURCE_FIELDS = ('company', 'description', 'file')
SINGLE = ('name', 'version', 'version-numbers', 'copyright') + RESOURCE_FIELDS
LANGUAGES = ('nl', 'en')
OPTIONAL = ('resource-product',)


class ProductError(Exception):
    pass


def text_width(text):
    """Width of text in dialog units in the dialogs' 8-point font, estimated
    from classes of characters (a little wide rather than narrow); the
    end-to-end layout test measures the real text."""
    width = 0.0
    for c in text:
        if c in "iljI.,:;!|'":
            width += 2
        elif c in 'frt ()-/[]1':
            width += 3
        elif c in 'mwMW@%':
            width += 6.5
        elif c.isupper():
            width += 5
        elif ord(c) > 127:
            width += 5
        else:
            width += 3.7
    return width


def shown(text):
    """The text as a static control shows it: "&&" is one ampersand."""
    return text.replace('&&', '&')


def parse(path):
    """The fields of a product file: {field: [(line number, text), ...]}."""
    fields = {}
    errors = []
    try:
        with open(path, 'rb') as f:
            raw = f.read()
    except OSError as e:
        raise ProductError('%s:0: cannot read the product file (%s)' % (path, e.strerror))
    try:
        data = raw.decode('utf-8')
    except UnicodeDecodeError as e:
        line = raw[:e.start].count(b'\n') + 1
        raise ProductError('%s:%d: not UTF-8 text' % (path, line))
    if data.startswith('\ufeff'):
        data = data[1:]
    for number, line in enumerate(data.replace('\r\n', '\n').split('\n'), 1):
        stripped = line.strip()
        if not stripped or stripped.startswith('#'):
            continue
        key, sep, value = stripped.partition('=')
        key = key.strip()
        if not sep or not key:
            errors.append('%s:%d: expected "field = text", found "%s"' % (path, number, stripped))
            continue
        fields.setdefault(key, []).append((number, value.strip()))
    return fields, errors


def read_product(path, dialog):
    """The checked product data of path for the given dialog template, as a
    dict; raises ProductError with every fault found."""
    fields, errors = parse(path)
    known = set(SINGLE) | set(OPTIONAL) | {'member'}
    known |= {'%s.%s' % (f, l) for f in DIALOG_FIELDS if f != 'copyright' for l in LANGUAGES}
    product = {}

    def fail(line, text):
        errors.append('%s:%d: %s' % (path, line, text))

    for key, rows in sorted(fields.items(), key=lambda kv: kv[1][0][0]):
        if key not in known:
            fail(rows[0][0], 'unknown field "%s"' % key)
        elif key != 'member' and len(rows) > 1:
            fail(rows[1][0], 'field "%s" given again (first on line %d)' % (key, rows[0][0]))
    for key in sorted(known - {'member'} - set(OPTIONAL)):
        if key not in fields:
            fail(0, 'missing field "%s"' % key)
        elif not fields[key][0][1]:
            fail(fields[key][0][0], 'field "%s" is empty' % key)

    def value(key):
        rows = fields.get(key)
        return (rows[0][0], rows[0][1]) if rows else (0, '')

    line, name = value('name')
    if len(name.encode('utf-8')) > NAME_MAX:
        fail(line, 'product name "%s" is %d characters, at most %d fit the registry key' %
             (name, len(name.encode('utf-8')), NAME_MAX))
    if '\\' in name:
        fail(line, 'a product name cannot hold "\\" (it names a registry key)')
    product['name'] = name
    line, version = value('version')
    if len(version.encode('utf-8')) > 15:
        fail(line, 'version "%s" is longer than 15 characters' % version)
    product['version'] = version
    line, numbers = value('version-numbers')
    parts = numbers.split('.')
    if numbers and (len(parts) != 4 or not all(p.isdigit() and int(p) <= 65535 for p in parts)):
        fail(line, 'version-numbers must be four numbers 0 to 65535 with dots between, as 1.1.0.0')
    product['version-numbers'] = ', '.join(str(int(p)) for p in parts) if not errors or len(parts) == 4 and all(
        p.isdigit() for p in parts) else '0, 0, 0, 0'

    def check_text(key, line, text, size, width):
        if len(text.encode('utf-8')) >= size:
            fail(line, '"%s" is %d bytes, more than the %d the program holds' % (text, len(text.encode('utf-8')),
                                                                                     size - 1))
        if re.search(r'(?<!&)&(?!&)', text.replace('&&', '')):
            fail(line, 'unescaped "&" in "%s": write "&&" for an ampersand (a single one underlines the next '
                 'letter)' % text)
        if width and text_width(shown(text)) > width:
            fail(line, '"%s" is too long for its control in the %s dialog (about %d of %d dialog units)' %
                 (text, dialog, text_width(shown(text)), width))

    for key, (size, widths) in DIALOG_FIELDS.items():
        width = widths[dialog]
        if key == 'copyright':
            line, text = value(key)
            check_text(key, line, text, size, width)
            product[key] = text
            continue
        for index, language in enumerate(LANGUAGES):
            w = width[index] if isinstance(width, tuple) else width
            line, text = value('%s.%s' % (key, language))
            check_text(key, line, text, size, w)
            product['%s.%s' % (key, language)] = text
    members = fields.get('member', [])
    widths = MEMBER_WIDTHS[dialog]
    if len(members) > len(widths):
        fail(members[len(widths)][0], 'the %s dialog has room for %d team members' % (dialog, len(widths)))
    for (line, text), width in zip(members, widths):
        check_text('member', line, text, MEMBER_SIZE, width)
    product['members'] = [text for _, text in members[:len(widths)]]
    product['members'] += [''] * (len(widths) - len(product['members']))

    for key in RESOURCE_FIELDS + OPTIONAL:
        line, text = value(key)
        if any(ord(c) > 127 for c in text):
            fail(line, 'field "%s" goes into the version resource and must be plain ASCII' % key)
        if len(text) > 63:
            fail(line, 'field "%s" is longer than 63 characters' % key)
        product[key] = text
    if not product['resource-product']:
        product['resource-product'] = name
    if errors:
        raise ProductError('\n'.join(errors))
    return product


def literal(text):
    """text as a C string literal that both compilers read alike."""
    out = '"'
    for b in text.encode('utf-8'):
        c = chr(b)
        if c in '"\\':
            out += '\\' + c
        elif 32 <= b < 127:
            out += c
        else:
            out += '\\%03o' % b
    return out + '"'


def header(product, source):
    lines = ['// Made by cmake/product_data.py from %s; edit that file, not this one.' % source, '#pragma once', '']
    macros = [('PRODUCT_NAME', product['name']), ('PRODUCT_VERSION', product['version'])]
    for key in DIALOG_FIELDS:
        if key == 'copyright':
            macros.append(('PRODUCT_COPYRIGHT', product[key]))
            continue
        for language in LANGUAGES:
            macros.append(('PRODUCT_%s_%s' % (key.replace('-', '_').upper(), language.upper()),
                           product['%s.%s' % (key, language)]))
    macros += [('VERSION_PRODUCT', product['resource-product']), ('VERSION_COMPANY', product['company']),
               ('VERSION_DESCRIPTION', product['description']), ('VERSION_FILE', product['file'])]
    for name, text in macros:
        lines.append('#define %s %s' % (name, literal(text)))
    lines.append('#define PRODUCT_VERSION_NUMBERS %s' % product['version-numbers'])
    lines.append('#define PRODUCT_MEMBERS %s' % ', '.join(literal(m) for m in product['members']))
    lines.append('#define PRODUCT_MEMBER_COUNT %d' % len(product['members']))
    return '\n'.join(lines) + '\n'


def main():
    parser = argparse.ArgumentParser(description='Checks a product file and writes its header.')
    parser.add_argument('product')
    parser.add_argument('--dialog', required=True, choices=sorted(MEMBER_WIDTHS))
    parser.add_argument('--out')
    args = parser.parse_args()
    try:
        product = read_product(args.product, args.dialog)
    except ProductError as e:
        print(e, file=sys.stderr)
        return 1
    if args.out:
        text = header(product, args.product)
        try:
            with open(args.out, 'r', encoding='utf-8') as f:
                if f.read() == text:
                    return 0
        except OSError:
            pass
        with open(args.out, 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
