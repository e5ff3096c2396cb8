#!/usr/bin/env python3
"""The product file generator: the shipped product files pass, and each kind
of bad data is refused with the file and line named, all faults at once.

    product_data_test.py WORKDIR
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, 'cmake', 'product_data.py')
FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print('FAIL: ' + what)


def run(path, dialog, out=None):
    args = [sys.executable, TOOL, path, '--dialog', dialog] + (['--out', out] if out else [])
    p = subprocess.run(args, capture_output=True, text=True, encoding='utf-8')
    return p.returncode, p.stderr


def main():
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    shipped = {'doravo/doravo.product': 'update', 'doravo/marvik.product': 'family', 'demo/demo.product': 'demo'}
    for name, dialog in shipped.items():
        code, err = run(os.path.join(ROOT, 'payload', name), dialog, os.path.join(work, 'out.h'))
        check(code == 0 and err == '', '%s passes: %s' % (name, err))
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
        code, err = run(path, dialog)
        if expect is None:
            check(code == 0 and err == '', '%s is accepted: %s' % (what, err))
            continue
        check(code == 1, '%s is refused (exit %d)' % (what, code))
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
    code, err = run(path, 'update')
    check(code == 1 and len(err.strip().split('\n')) == 3, 'three faults, three lines: %s' % err)
    check('given again (first on line %d)' % line_of('name') in err, 'a repeated field: ' + err)
    check('room for 4 team members' in err, 'too many team members: ' + err)
    print('%d product file cases' % (len(cases) + len(shipped) + 1))
    return 1 if FAILURES else 0


if __name__ == '__main__':
    sys.exit(main())
