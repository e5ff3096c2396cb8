#!/usr/bin/env python3
"""The demo run of scripts/demo: a sample Doravo 1.00 installation, the update,
and what it changed.

    demo.py --bin BIN --work DIR --wine WINE_RUN interactive|headless
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RECORD = struct.Struct('<256s6i152s')  # name, size, version, status, E, D, R, reserved
KEY = r'Software\Doravo'


def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def targets():
    with open(os.path.join(ROOT, 'payload', 'doravo', 'update.lst')) as f:
        lines = [l for l in f.read().splitlines() if l]
    return [lines[i] for i in range(3, len(lines), 2)]


def snapshot(root):
    out = {}
    for d, _, files in os.walk(root):
        for n in files:
            p = os.path.join(d, n)
            with open(p, 'rb') as f:
                out[os.path.relpath(p, root).replace('/', '\\')] = f.read()
    return out


def versions(path):
    if not os.path.exists(path):
        return {}
    with open(path, 'rb') as f:
        data = f.read()
    out = {}
    for i in range(0, len(data) - RECORD.size + 1, RECORD.size):
        name, _, version, _, _, _, _, _ = RECORD.unpack_from(data, i)
        out[name.split(b'\0')[0].decode('utf-8')] = version
    return out


class Demo:
    def __init__(self, a):
        self.a = a
        self.inst = os.path.join(a.work, 'Doravo')
        self.tmp = os.path.join(a.work, 'tmp')
        self.log = os.path.join(a.work, 'driver.txt')

    def driver(self, *steps):
        with open(self.log, 'w') as f:
            subprocess.call([self.a.wine, os.path.join(self.a.bin, 'e2e_driver.exe'),
                             'env|TMP|' + winpath(self.tmp), 'env|TEMP|' + winpath(self.tmp)] + list(steps),
                            stdout=f, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        with open(self.log) as f:
            return f.read().splitlines()

    def version(self):
        line = self.driver('regget|%s|Version' % KEY)[-1]
        return line.split(' ', 3)[3]

    def prepare(self):
        """Doravo 1.00: ten of the update's files at version 100, the rest missing, and a
        file of the user's own that the update does not carry."""
        shutil.rmtree(self.inst, ignore_errors=True)
        shutil.rmtree(self.tmp, ignore_errors=True)
        os.makedirs(self.inst)
        os.makedirs(self.tmp)
        names = targets()[:10]
        with open(os.path.join(self.inst, 'lzx.ver'), 'wb') as f:
            for name in names:
                f.write(RECORD.pack(name.encode('utf-8'), 0, 100, 0, 0, 0, 0, b''))
                p = os.path.join(self.inst, *name.lstrip('#').split('\\'))
                os.makedirs(os.path.dirname(p), exist_ok=True)
                with open(p, 'wb') as g:
                    g.write(b'Doravo 1.00\r\n')
        with open(os.path.join(self.inst, 'notes.txt'), 'wb') as g:
            g.write(b'My own notes: not part of the update.\r\n')
        self.driver('regdel|' + KEY, 'regset|%s|Location|%s' % (KEY, winpath(self.inst)),
                    'regset|%s|Version|1.00' % KEY)

    def run(self, mode):
        exe = winpath(os.path.join(self.a.bin, 'DoravoUpdate.exe'))
        if mode == 'interactive':
            subprocess.call([self.a.wine, exe], stdin=subprocess.DEVNULL)
            return
        lines = self.driver('start|' + exe, 'dialog|0', 'controls', 'click|1', 'msgbox|0', 'exit|0')
        for l in lines:
            if l.startswith('dialog '):
                print('dialog shown:', l.split('"')[1])
            elif l.startswith('control ') and not l.endswith('""'):
                ident, text = l.split(' ', 3)[1], l.split(' ', 3)[3]
                if ident in ('2017', '2014', '2015', '1', '2'):
                    print('  %-5s %s' % (ident, text))
            elif l.startswith('msgbox '):
                print('message box:', l[len('msgbox '):])
            elif l.startswith('exit '):
                print('exit code:', l.split()[2])
            elif l.startswith('timeout'):
                print('driver:', l)

    def main(self, mode):
        self.prepare()
        before, vbefore, rbefore = snapshot(self.inst), versions(os.path.join(self.inst, 'lzx.ver')), self.version()
        self.run(mode)
        after, vafter, rafter = snapshot(self.inst), versions(os.path.join(self.inst, 'lzx.ver')), self.version()
        new = sorted(n for n in after if n not in before)
        updated = sorted(n for n in after if n in before and after[n] != before[n] and n != 'lzx.ver')
        same = sorted(n for n in after if n in before and after[n] == before[n] and n != 'lzx.ver')
        print('\nwhat the update changed in %s:' % self.inst)
        for title, names in (('new', new), ('updated', updated), ('unchanged', same)):
            print('  %-9s %2d  %s' % (title, len(names), ' '.join(names)))
        print('  lzx.ver   %d rows before, %d after; versions %s -> %s' %
              (len(vbefore), len(vafter), sorted(set(vbefore.values())), sorted(set(vafter.values()))))
        print('  registry  HKCU\\%s Version %s -> %s' % (KEY, rbefore, rafter))
        print('  temporary files left: %d' % len(os.listdir(self.tmp)))


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--bin', required=True)
    p.add_argument('--work', required=True)
    p.add_argument('--wine', required=True)
    p.add_argument('mode', choices=['interactive', 'headless'])
    a = p.parse_args()
    Demo(a).main(a.mode)
    return 0


if __name__ == '__main__':
    sys.exit(main())
