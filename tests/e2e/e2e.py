#!/usr/bin/env python3
"""End-to-end tests of the updater executables under Wine.

    e2e.py --list
    e2e.py --bin BIN --work WORK --wine WINE_RUN CASE

Each case prepares its own installation under WORK/CASE, runs the driver
(BIN/e2e_driver.exe) through WINE_RUN against the real executable, and checks
what the driver saw, the files, "lzx.ver" and the registry. Cases that use the
same instance marker or registry key share a lock (printed by --list) so that
ctest runs them one at a time.
"""
import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import peres

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PAYLOAD = os.path.join(ROOT, 'payload')
RECORD = struct.Struct('<256s6i152s')  # VersionRecord: name, size, version, status, E, D, R, reserved
KEY = r'Software\Doravo'
FAMILY_KEY = r'Software\Marvik'

CASES = {}


def case(*locks):
    def register(f):
        CASES[f.__name__] = (f, locks)
        return f
    return register


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def entries(list_file):
    """(target name, source path) of each entry of a list file, in order."""
    with open(list_file) as f:
        lines = [l for l in f.read().splitlines() if l]
    base = os.path.join(os.path.dirname(list_file), lines[1])
    out = []
    for i in range(2, len(lines), 2):
        source = lines[i].split('|')[0]
        if source.startswith('#'):
            source = source[1:]
        else:
            source = os.path.join(base, source)
        out.append((lines[i + 1], source))
    return out


def read_versions(path):
    with open(path, 'rb') as f:
        data = f.read()
    check(len(data) % RECORD.size == 0, 'lzx.ver holds whole records')
    rows = []
    for i in range(0, len(data), RECORD.size):
        name, size, version, status, e, d, r, reserved = RECORD.unpack_from(data, i)
        rows.append((name.split(b'\0')[0].decode('utf-8'), version, status))
    return rows


def write_versions(path, rows):
    with open(path, 'wb') as f:
        for name, version in rows:
            f.write(RECORD.pack(name.encode('utf-8'), 0, version, 0, 0, 0, 0, b''))


class Run:
    def __init__(self, args, name):
        self.bin = args.bin
        self.lzx = args.lzx or os.path.join(ROOT, 'build', 'bin', 'lzx')
        self.wine = args.wine
        self.work = os.path.join(args.work, name)
        shutil.rmtree(self.work, ignore_errors=True)
        self.inst = os.path.join(self.work, 'inst')
        self.tmp = os.path.join(self.work, 'tmp')
        os.makedirs(self.inst)
        os.makedirs(self.tmp)
        self.calls = 0
        self.doravo = entries(os.path.join(PAYLOAD, 'doravo', 'update.lst'))
        self.demo = entries(os.path.join(PAYLOAD, 'demo', 'install.lst'))
        programs = os.path.join(os.path.dirname(self.bin), 'payload-programs')
        self.doravo = [(t, s.replace('@PROGRAMS@', programs)) for t, s in self.doravo]
        self.demo = [(t, s.replace('@PROGRAMS@', programs)) for t, s in self.demo]

    def exe(self, name, args=''):
        return ('%s %s' % (winpath(os.path.join(self.bin, name)), args)).strip()

    def driver(self, *steps):
        """Runs the driver with the steps; returns its output lines."""
        self.calls += 1
        out = os.path.join(self.work, 'driver%d.txt' % self.calls)
        common = ['env|TMP|' + winpath(self.tmp), 'env|TEMP|' + winpath(self.tmp), 'cwd|' + winpath(self.work)]
        with open(out, 'w') as f:
            rc = subprocess.call([self.wine, os.path.join(self.bin, 'e2e_driver.exe')] + common + list(steps),
                                 stdout=f, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        with open(out) as f:
            lines = f.read().splitlines()
        print('driver:', ' '.join(steps))
        for l in lines:
            print('  ' + l)
        check(rc == 0, 'driver ended with %d' % rc)
        return lines

    def path(self, target, root=None):
        return os.path.join(root or self.inst, *target.lstrip('#').split('\\'))

    def install_100(self, versions=None, location=True):
        """A Doravo 1.00 installation: old files, "lzx.ver" and the registry."""
        for target, _ in self.doravo:
            p = self.path(target)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, 'wb') as f:
                f.write(b'Doravo 1.00 ' + target.encode())
        if versions is not False:
            rows = versions if versions is not None else [(t, 100) for t, _ in self.doravo[:10]]
            write_versions(os.path.join(self.inst, 'lzx.ver'), rows)
        steps = ['regdel|' + KEY]
        if location:
            steps += ['regset|%s|Location|%s' % (KEY, winpath(self.inst)), 'regset|%s|Version|1.00' % KEY]
        return steps

    def snapshot(self, root=None):
        root = root or self.inst
        out = {}
        for d, _, files in os.walk(root):
            for n in files:
                p = os.path.join(d, n)
                with open(p, 'rb') as f:
                    out[os.path.relpath(p, root)] = f.read()
        return out

    def check_installed(self, items, root=None, except_names=()):
        for target, source in items:
            if target in except_names:
                continue
            with open(source, 'rb') as f:
                want = f.read()
            with open(self.path(target, root), 'rb') as f:
                check(f.read() == want, '%s installed from %s' % (target, source))

    def temp_left(self):
        return os.listdir(self.tmp)


def field(lines, prefix):
    found = [l for l in lines if l.startswith(prefix)]
    check(found, 'driver printed "%s"' % prefix)
    return found[0]


def controls(lines):
    out = {}
    for l in lines:
        if l.startswith('control '):
            _, ident, visible, text = l.split(' ', 3)
            out.setdefault(int(ident), (int(visible), text[1:-1]))
    return out


def msgboxes(lines):
    return [l[len('msgbox '):] for l in lines if l.startswith('msgbox ')]


def q(*parts):
    """The driver's form of a message box: quoted caption and text."""
    return ' '.join('"%s"' % p.replace('\n', '\\n') for p in parts)


# --- The Doravo update's dialog -----------------------------------------------------------------

DUTCH = {4: 'update informatie', 6: 'Update Doravo naar', 7: 'versie 1.01 (22-mei-2003)', 8: '',
         10: 'het Vexa team', 1: 'Installeer update', 2: 'Annuleer'}
ENGLISH = {4: 'update information', 6: 'Update Doravo to', 7: 'version 1.01 (22-may-2003)', 8: '',
           10: 'the Vexa team', 1: 'Install update', 2: 'Cancel'}
IDS = {4: 2017, 6: 2014, 7: 2015, 8: 2016, 10: 2012, 1: 1, 2: 2}


def check_texts(lines, texts):
    c = controls(lines)
    for message, ident in IDS.items():
        check(c[ident][1] == texts[message], 'control %d shows %r, not %r' % (ident, c[ident][1], texts[message]))
    check(field(lines, 'dialog ').startswith('dialog "Doravo" '), 'dialog title is the product name')


def check_centred(lines):
    parts = field(lines, 'dialog ').split()
    x, y, w, h, sw, sh = (int(v) for v in parts[2:6] + parts[7:9])
    check(x == (sw - w) // 2 and y == (sh - h) // 2, 'dialog centred: %s' % ' '.join(parts))


@case('VexaWare')
def dialog_dutch_cancel(r):
    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'controls', 'key|esc', 'exit|0',
                     'regget|%s|Version' % KEY)
    check_texts(lines, DUTCH)
    check_centred(lines)
    c = controls(lines)
    check(c[2020][1].startswith('E-mail: ') and c[2021][1].startswith('Internet: '), 'contact lines')
    check(c[2011][1] != 'copyright', 'copyright line set')
    check('exit 0 3' in lines and not msgboxes(lines), 'Esc closes without a message, exit code 3')
    check(r.snapshot() == before, 'nothing installed after Esc')
    check(lines[-1].endswith('"1.00"'), 'registry version kept')


@case('VexaWare')
def dialog_english_options(r):
    steps = r.install_100()
    for args, texts in (('-eng', ENGLISH), ('-ENG', ENGLISH), ('-dut -eng', ENGLISH), ('-eng -dut', DUTCH),
                        ('-eng,', DUTCH)):
        lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', args), 'dialog|0', 'controls', 'click|2',
                         'exit|0')
        check_texts(lines, texts)
        check('exit 0 3' in lines, 'cancel ends with 3')


# --- Update runs --------------------------------------------------------------------------------

@case('VexaWare')
def update_fresh(r):
    steps = r.install_100()
    old_rows = read_versions(os.path.join(r.inst, 'lzx.ver'))
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-log'), 'dialog|0', 'click|1', 'msgbox|0',
                     'exit|0', 'regget|%s|Version' % KEY)
    check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.')], 'one closing message')
    check('exit 0 0' in lines, 'exit code 0')
    r.check_installed(r.doravo)
    rows = read_versions(os.path.join(r.inst, 'lzx.ver'))
    check([n for n, _, _ in rows] == [n for n, _, _ in old_rows] + [t for t, _ in r.doravo[len(old_rows):]],
          'old rows first in their order, then the new ones')
    check(all(v == 101 and s == 0 for _, v, s in rows), 'every row at 101 with status 0')
    check(lines[-1].endswith('"1.01"'), 'registry version 1.01')
    check(r.temp_left() == [], 'temporary archive removed')
    with open(os.path.join(r.work, 'LOG.LOG')) as f:
        log = f.read()
    check('New files: %d\nUpdated files: %d\nUnchanged files: 0' % (len(r.doravo) - len(old_rows), len(old_rows))
          in log.replace('\r\n', '\n'), 'counts in the log: %r' % log)


@case('VexaWare')
def update_higher_version_kept(r):
    rows = [(t, 100) for t, _ in r.doravo]
    rows[1] = ('#README.TXT', 105)  # names match without regard to case
    steps = r.install_100(rows)
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'key|enter', 'msgbox|0', 'msgbox|0',
                     'exit|0', 'regget|%s|Version' % KEY)
    check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.\n1 bestanden niet vervangen.'),
                              q('Update verslag', 'De update is aangebracht.')], 'report, then closing message')
    check('exit 0 6' in lines, 'exit code 6: files left unchanged')
    r.check_installed(r.doravo, except_names=('#readme.txt',))
    with open(r.path('#readme.txt'), 'rb') as f:
        check(f.read() == b'Doravo 1.00 #readme.txt', 'the newer file is left alone')
    after = read_versions(os.path.join(r.inst, 'lzx.ver'))
    check(after[1] == ('#README.TXT', 105, 0), 'its row keeps the higher version: %r' % (after[1],))
    check(len(after) == len(rows), 'no row added')
    check(lines[-1].endswith('"1.00"'), 'registry version unchanged')


@case('VexaWare')
def update_equal_versions_rewritten(r):
    steps = r.install_100([(t, 101) for t, _ in r.doravo])
    lines = r.driver(*steps, 'regset|%s|Version|0.99' % KEY, 'start|' + r.exe('DoravoUpdate.exe', '-eng'),
                     'dialog|0', 'click|1', 'msgbox|0', 'exit|0', 'regget|%s|Version' % KEY)
    check(msgboxes(lines) == [q('Update report', 'The update has been applied.')], 'English closing message')
    r.check_installed(r.doravo)
    check(lines[-1].endswith('"1.01"'), 'registry version 1.01')


@case('VexaWare')
def update_without_version_file(r):
    steps = r.install_100(versions=False)
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0',
                     'regget|%s|Version' % KEY)
    missing = winpath(r.inst) + '\\lzx.ver not found'
    check(msgboxes(lines) == [q('Einde', missing)], 'only "%s not found", no closing message')
    check('exit 0 5' in lines, 'exit code 5')
    check(r.snapshot() == before, 'nothing extracted')
    check(lines[-1].endswith('"1.00"'), 'registry version unchanged')
    check(r.temp_left() == [], 'temporary archive removed')


@case('VexaWare')
def update_deep_temp_directory(r):
    # A temporary directory deeper than 100 characters works; one too deep for
    # the system's path buffer (even in its short form, which the updater takes
    # when the long one leaves no room for the archive's name) is refused. The
    # directory sits under /tmp, so that its short form fits wherever the build
    # folder is.
    base = tempfile.mkdtemp(prefix='lzx-e2e-', dir='/tmp')
    try:
        r.tmp = os.path.join(base, 'a temporary directory with a long name', 'and another level below it', 'x' * 40)
        os.makedirs(r.tmp)
        check(len(winpath(r.tmp)) > 100, 'deep enough')
        lines = r.driver(*r.install_100(), 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0',
                         'exit|0')
        check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.')], 'closing message')
        r.check_installed(r.doravo)
        check(r.temp_left() == [], 'temporary archive removed')

        # Too deep even in its short form: refused before anything is written.
        r.tmp = os.path.join(r.tmp, *['level %d of many' % i for i in range(40)])
        os.makedirs(r.tmp)
        steps = r.install_100()
        before = r.snapshot()
        lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0')
        boxes = msgboxes(lines)
        refused = any(text in boxes[0] for text in ('temporary path too long', 'no usable temporary directory'))
        check(len(boxes) == 1 and refused, 'a temporary directory too deep for the path buffer: fatal')
        check(r.snapshot() == before, 'installation untouched')
        check(r.temp_left() == [], 'nothing left in the temporary directory')
    finally:
        shutil.rmtree(base, ignore_errors=True)


# --- Start-up -----------------------------------------------------------------------------------

@case('VexaWare')
def startup_without_registry(r):
    lines = r.driver('regdel|' + KEY, 'start|' + r.exe('DoravoUpdate.exe'), 'msgbox|0', 'exit|0', 'regkey|' + KEY,
                     'regset|%s|Location|%s' % (KEY, winpath(r.inst)), 'start|' + r.exe('DoravoUpdate.exe', '-eng'),
                     'msgbox|1', 'exit|1')
    boxes = msgboxes(lines)
    check(boxes[0] == q('Einde programma', 'Vexa directory niet gevonden'), 'message 18 in Dutch')
    check('regkey %s present 0 values' % KEY in lines, 'an empty key is left behind')
    check(boxes[1] == q('Exit program', 'Vexa directory not found'), 'Location without Version: message 18')
    check('exit 0 4' in lines and 'exit 1 4' in lines, 'both end with 4')


@case('VexaWare')
def startup_on_old_windows(r):
    # Wine reports Windows 3.1 to this program only: GetVersion gives 3.10.
    old = r'Software\Wine\AppDefaults\DoravoUpdate.exe'
    try:
        lines = r.driver(*r.install_100(), 'regset|%s|Version|win31' % old,
                         'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'msgbox|0', 'exit|0')
    finally:
        r.driver('regdel|' + old)
    check(msgboxes(lines) == [q('Einde', 'Vexa werkt niet onder Windows 3.1 [3, 10]')], 'fixed Dutch text')
    check('exit 0 2' in lines, 'a start-up failure: exit code 2')


@case('VexaWare')
def second_instance(r):
    steps = r.install_100()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'start|' + r.exe('DoravoUpdate.exe'),
                     'msgbox|1', 'exit|1', 'start|' + r.exe('VexaDemoSetup.exe', '-eng'), 'msgbox|2', 'exit|2',
                     'key|esc', 'exit|0')
    boxes = msgboxes(lines)
    check(boxes[0] == q('Einde programma', 'Tijdens de installatie mag Doravo niet actief zijn.'), 'message 21')
    check(boxes[1] == q('Exit program', 'During updating Vexa should not be active.'), 'the demo shares the marker')
    check('exit 1 1' in lines and 'exit 2 1' in lines, 'the second copies end with 1')
    check('exit 0 3' in lines, 'the first goes on until cancelled')


# --- The Marvik family --------------------------------------------------------------------------

@case('Marvik')
def marvik_dialog_and_startup(r):
    lines = r.driver('regdel|' + FAMILY_KEY, 'start|' + r.exe('MarvikUpdate.exe'), 'msgbox|0', 'exit|0',
                     'regset|%s|Location|%s' % (FAMILY_KEY, winpath(r.inst)), 'start|' + r.exe('MarvikUpdate.exe'),
                     'dialog|1', 'controls', 'start|' + r.exe('MarvikUpdate.exe', '-eng'), 'msgbox|2', 'exit|2',
                     'key|esc', 'exit|1')
    boxes = msgboxes(lines)
    check(boxes[0] == q('Einde programma', 'Marvik directory niet gevonden'), 'message 20')
    check(boxes[1] == q('Exit program', 'During updating no other Marvik Software should be active.'), 'message 22')
    check('exit 2 1' in lines, 'second copy ends with 1')
    c = controls(lines)
    check(c[2012][1] == 'ontwikkelling', 'team box of the family')
    check(c[2018][0] == 1 and c[2019][0] == 1 and c[2020][0] == 0 and c[2021][0] == 0, 'Dutch: family lines shown')
    lines = r.driver('start|' + r.exe('MarvikUpdate.exe', '-eng'), 'dialog|0', 'controls', 'key|esc', 'exit|0',
                     'start|' + r.exe('MarvikUpdate.exe'), 'dialog|1', 'start|' + r.exe('MarvikUpdate.exe'),
                     'msgbox|2', 'exit|2', 'click|2', 'exit|1')
    c = controls(lines)
    check(c[2012][1] == 'development', 'English team box')
    check(c[2018][0] == 0 and c[2019][0] == 0 and c[2020][0] == 1 and c[2021][0] == 1, 'English: Vexa lines shown')
    check(msgboxes(lines) == [q('Einde programma', 'Tijdens de installatie mag er geen\nandere Marvik Software draaien.')],
          'message 22 in Dutch, with its line break')
    check_centred(lines)


@case('Marvik', 'VexaWare')
def marvik_update_without_version_file(r):
    lines = r.driver('regset|%s|Location|%s' % (FAMILY_KEY, winpath(r.inst)), 'regset|%s|Version|1.00' % KEY,
                     'start|' + r.exe('MarvikUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0',
                     'regget|%s|Version' % KEY)
    check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.')], 'closing message')
    r.check_installed(r.doravo)
    rows = read_versions(os.path.join(r.inst, 'lzx.ver'))
    check([n for n, _, _ in rows] == [t for t, _ in r.doravo], 'one row per file, in archive order')
    check(lines[-1].endswith('"1.01"'), 'product version written')


# --- The demo install ---------------------------------------------------------------------------

def start_menu_group():
    prefix = os.environ.get('WINEPREFIX', '')
    found = glob.glob(os.path.join(prefix, 'drive_c', 'users', '*', 'AppData', 'Roaming', 'Microsoft', 'Windows',
                                   'Start Menu', 'Programs', 'Vexa Demo'))
    return found[0] if found else None


@case('VexaWare')
def demo_install(r):
    group = start_menu_group()
    if group:
        shutil.rmtree(group)
    target = os.path.join(r.work, 'Vexa Demo')
    lines = r.driver('start|' + r.exe('VexaDemoSetup.exe'), 'dialog|0', 'controls',
                     'settext|2022|C:\\', 'click|1', 'quiet|0|700',
                     'settext|2022|\\', 'key|enter', 'quiet|0|500',
                     'settext|2022|' + winpath(target) + '\\\\\\', 'click|1', 'msgbox|0', 'exit|0')
    c = controls(lines)
    check(c[2022][1] == 'C:\\Program Files\\Vexa Demo', 'default directory on the Windows drive: %r' % c[2022][1])
    check(c[2017][1] == 'demo informatie' and c[1][1] == 'Installeer demo', 'demo texts')
    check(c[2020][1].startswith('E-mail: '), 'demo e-mail line')
    check(lines.count('quiet, dialog open') == 2, 'short directories refused without a word')
    check(msgboxes(lines) == [q('Einde installatie', 'Installatie succesvol.\nVeel plezier.')], 'closing message')
    check('exit 0 0' in lines, 'exit code 0')
    r.check_installed(r.demo, root=target)
    rows = read_versions(os.path.join(target, 'lzx.ver'))
    check([n for n, _, _ in rows] == [t for t, _ in r.demo], 'version file of the demo')
    group = start_menu_group()
    check(group is not None, 'program group "Vexa Demo" made by the shell')
    items = sorted(os.listdir(group))
    check(items == ['UnInstall.lnk', 'Vexa Demo.lnk'], 'two items: %r' % items)


# --- Fatal errors -------------------------------------------------------------------------------

@case('VexaWare')
def fatal_damaged_image(r):
    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdateFlipped.exe'), 'dialog|0', 'click|1', 'msgbox|0',
                     'exit|0', 'regget|%s|Version' % KEY)
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and boxes[0].startswith('"Einde programma" "RunUpdate: damaged archive, CRC-32 '),
          'the digest refuses the image')
    check('TEMP.LZX' in boxes[0], 'the message names the file')
    check('exit 0 2' in lines, 'exit code 2')
    check(r.snapshot() == before, 'installation untouched')
    check(lines[-1].endswith('"1.00"'), 'registry untouched')
    check(r.temp_left() == [], 'temporary archive removed')


@case('VexaWare')
def fatal_broken_structure(r):
    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdateTruncated.exe', '-eng'), 'dialog|0', 'click|1',
                     'msgbox|0', 'exit|0', 'regget|%s|Version' % KEY)
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and boxes[0].startswith('"Einde programma" '), 'one fatal box, caption in Dutch')
    check('exit 0 2' in lines, 'exit code 2')
    check(r.snapshot() == before, 'installation untouched')
    check(lines[-1].endswith('"1.00"'), 'registry untouched')


@case('VexaWare')
def fatal_missing_temp_directory(r):
    # TMP and TEMP name a directory that does not exist: the archive cannot be
    # written out, and nothing else happens.
    steps = r.install_100()
    before = r.snapshot()
    shutil.rmtree(r.tmp)
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0',
                     'regget|%s|Version' % KEY)
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and boxes[0].startswith('"Einde programma" ') and 'TEMP.LZX' in boxes[0],
          'one fatal box naming the temporary archive: %r' % boxes)
    check('exit 0 2' in lines, 'exit code 2')
    check(r.snapshot() == before, 'installation untouched')
    check(lines[-1].endswith('"1.00"'), 'registry untouched')
    check(not os.path.exists(r.tmp), 'no temporary directory made')


# --- All or nothing ---------------------------------------------------------------------------

def journal_leftovers(r):
    """Staged files, backups, journals and probes anywhere in the installation."""
    out = []
    for d, _, files in os.walk(r.inst):
        out += [os.path.join(d, n) for n in files if n.startswith('~lzx')]
    return out


def check_unchanged(r, before, lines, why):
    check(r.snapshot() == before, why + ': installation unchanged')
    check(lines[-1].endswith('"1.00"'), why + ': registry unchanged')
    check(r.temp_left() == [], why + ': nothing left in TEMP: %r' % r.temp_left())


@case('VexaWare')
def preflight_file_in_use(r):
    steps = r.install_100()
    held = winpath(r.path('#data\\words.dat'))
    # Retry while the file is still held asks again; Retry after the holder
    # let go installs everything. The holder lets go only while a box is
    # open: released during the check after a Retry, the outcome would be a
    # race.
    lines = r.driver(*steps, 'hold|' + held, 'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'dialog|0', 'click|1',
                     'msgbox|0|4', 'msgbox|0|4', 'shown|0', 'release', 'msgbox|0|4', 'msgbox|0', 'exit|0',
                     'regget|%s|Version' % KEY)
    boxes = msgboxes(lines)
    check(len(boxes) == 4 and boxes[0] == boxes[1] == boxes[2], 'asked again while held: %r' % boxes)
    check('words.dat' in boxes[0] and 'in use by another program' in boxes[0] and 'Retry' in boxes[0],
          'the box names the file and asks to close its program: %r' % boxes[0])
    check(boxes[3] == q('Update report', 'The update has been applied.'), 'then installed')
    r.check_installed(r.doravo)
    check(lines[-1].endswith('"1.01"'), 'registry 1.01')
    check(journal_leftovers(r) == [] and r.temp_left() == [], 'nothing left behind')

    # Cancel: nothing changed, and the program ends.
    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'hold|' + held, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1',
                     'msgbox|0|2', 'exit|0', 'release', 'regget|%s|Version' % KEY)
    check(len(msgboxes(lines)) == 1 and 'in gebruik' in msgboxes(lines)[0], 'one Dutch box: %r' % msgboxes(lines))
    check('exit 0 2' in lines, 'Cancel ends with 2: not applied, nothing changed')
    check_unchanged(r, before, lines, 'cancel')


@case('VexaWare')
def preflight_refusals(r):
    # The version file held open, a read-only target: each named, with its
    # cause, and nothing changed.
    def refused(prepare, extra_steps, words):
        steps = r.install_100()
        prepare()
        before = r.snapshot()
        lines = r.driver(*steps, *extra_steps, 'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'dialog|0', 'click|1',
                         'msgbox|0|2', 'exit|0', 'release', 'regget|%s|Version' % KEY)
        boxes = msgboxes(lines)
        check(len(boxes) == 1 and all(w in boxes[0] for w in words), 'refusal names %r: %r' % (words, boxes))
        check_unchanged(r, before, lines, words[0])
    refused(lambda: None, ['hold|' + winpath(os.path.join(r.inst, 'lzx.ver'))], ['lzx.ver', 'in use'])
    refused(lambda: os.chmod(r.path('#help\\usage.txt'), 0o444), [], ['usage.txt', 'read-only', 'Nothing was changed'])
    os.chmod(r.path('#help\\usage.txt'), 0o644)


@case('VexaWare')
def double_click_runs_once(r):
    steps = r.install_100()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-log'), 'dialog|0', 'click|1', 'click|1',
                     'key|enter', 'msgbox|0', 'quiet|0|300', 'exit|0')
    check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.')], 'exactly one closing box')
    check('exit 0 0' in lines, 'exit code 0')
    with open(os.path.join(r.work, 'LOG.LOG')) as f:
        log = f.read()
    check(log.count('Result: installed') == 1, 'one run in the log: %r' % log)
    check('updated   #readme.txt' in log and 'new       #config\\default.ini' in log, 'each file in the log: %r' % log)


def mount_tmpfs(path, size, ro=False):
    os.makedirs(path, exist_ok=True)
    subprocess.check_call(['mount', '-t', 'tmpfs', '-o', 'size=%s' % size, 'tmpfs', path])


def umount(path):
    subprocess.call(['umount', path])


@case('VexaWare')
def full_disk_and_read_only_places(r):
    # The installation on a small file system that has no room for the staged
    # files; then the same installation read-only; then a TEMP too small for
    # the archive. Each refused before anything changed.
    try:
        mount_tmpfs(r.inst, '400k')
        steps = r.install_100()
        with open(os.path.join(r.inst, 'filler'), 'wb') as f:
            try:
                f.write(b'\0' * (400 * 1024 - 150 * 1024))
            except OSError:
                pass
        before = r.snapshot()
        lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'dialog|0', 'click|1', 'msgbox|0',
                         'exit|0', 'regget|%s|Version' % KEY)
        boxes = msgboxes(lines)
        check(len(boxes) == 1 and 'not enough room' in boxes[0] and 'Nothing was changed' in boxes[0],
              'full disk refused: %r' % boxes)
        check_unchanged(r, before, lines, 'full disk')

        os.remove(os.path.join(r.inst, 'filler'))
        subprocess.check_call(['mount', '-o', 'remount,ro', r.inst])
        before = r.snapshot()
        lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'dialog|0', 'click|1', 'msgbox|0',
                         'exit|0', 'regget|%s|Version' % KEY)
        boxes = msgboxes(lines)
        check(len(boxes) == 1 and 'cannot be written' in boxes[0] and 'Nothing was changed' in boxes[0],
              'read-only install directory refused: %r' % boxes)
        check_unchanged(r, before, lines, 'read-only')
    finally:
        umount(r.inst)
    try:
        mount_tmpfs(r.tmp, '32k')
        steps = r.install_100()
        before = r.snapshot()
        lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-eng'), 'dialog|0', 'click|1', 'msgbox|0',
                         'exit|0', 'regget|%s|Version' % KEY)
        boxes = msgboxes(lines)
        check(len(boxes) == 1 and 'Not enough room for the archive' in boxes[0], 'full TEMP refused: %r' % boxes)
        check('exit 0 2' in lines, 'exit code 2')
        check_unchanged(r, before, lines, 'full TEMP')
    finally:
        umount(r.tmp)


def kill_and_restart(r, steps, kill_steps, fresh, exe='DoravoUpdateKill.exe'):
    """One update ended abruptly, then a start that must show the old or the new
    installation once its dialog is up; returns 'old' or 'new'."""
    old = r.snapshot()
    r.driver(*steps, 'start|' + r.exe(exe, '-eng'), 'dialog|0', 'click|1', *kill_steps)
    lines = r.driver('env|LZX_KILL_AT_STEP|0', 'start|' + r.exe(exe, '-eng'), 'boxes|0',
                     'regget|%s|Version' % KEY, 'key|esc', 'exit|0')
    now = r.snapshot()
    version = lines[[i for i, l in enumerate(lines) if l.startswith('reg ')][0]]
    check(journal_leftovers(r) == [], 'no staged, backup or journal file: %r' % journal_leftovers(r))
    check(r.temp_left() == [], 'nothing in TEMP: %r' % r.temp_left())
    if now == old:
        check(version.endswith('"1.00"'), 'old files, old registry: %s' % version)
        return 'old'
    check(now == fresh, 'the files are the old or the new installation, nothing between: %d of %d differ' %
          (sum(1 for k in set(now) | set(fresh) if now.get(k) != fresh.get(k)), len(fresh)))
    check(version.endswith('"1.01"'), 'new files, new registry: %s' % version)
    return 'new'


@case('VexaWare')
def kill_campaign(r):
    import random
    steps = r.install_100()
    r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0')
    fresh = r.snapshot()
    seen = {'old': 0, 'new': 0}
    # Every step of the commit: each file and lzx.ver moved aside and in, the
    # mark, the registry, the backups, the archive and the journal removed.
    files = len(r.doravo) + 1
    before_mark = 2 * files + 1
    for step in range(1, before_mark + files + 4):
        steps = r.install_100()
        seen[kill_and_restart(r, steps + ['env|LZX_KILL_AT_STEP|%d' % step], ['exit|0'], fresh)] += 1
    check(seen['old'] == before_mark and seen['new'] == files + 3, 'old before the mark, new after: %r' % seen)
    # Random moments of the whole install.
    rng = random.Random(13)
    for _ in range(int(os.environ.get('LZX_KILLS', '30'))):
        steps = r.install_100()
        kill_and_restart(r, steps, ['kill|0|%d' % rng.randint(0, 400)], fresh)
    # After all that, installing gives the new state.
    steps = r.install_100()
    r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0')
    check(r.snapshot() == fresh, 'a clean install afterwards')
@case('VexaWare')
def registry_write_refused(r):
    # Every file committed, then the registry refuses the version: the user is
    # told, the run ends with 2, and the next start writes the version.
    steps = r.install_100()
    lines = r.driver(*steps, 'env|LZX_KILL_AT_STEP|0', 'env|LZX_REGISTRY_DENIED|1',
                     'start|' + r.exe('DoravoUpdateKill.exe', '-eng'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0',
                     'regget|%s|Version' % KEY)
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and boxes[0].startswith('"Doravo" "The files have been updated, but the new version could '
                                                  'not be written to the registry: ') and 'denied.\\n' in boxes[0]
          and 'again' in boxes[0],
          'one box that says what is missing and what to do: %r' % boxes)
    check('exit 0 2' in lines and lines[-1].endswith('"1.00"'), 'exit code 2, registry not yet written')
    r.check_installed(r.doravo)
    check(journal_leftovers(r) != [], 'the journal stays for the next start')
    lines = r.driver('env|LZX_KILL_AT_STEP|0', 'env|LZX_REGISTRY_DENIED|0', 'start|' + r.exe('DoravoUpdateKill.exe', '-eng'),
                     'boxes|0', 'regget|%s|Version' % KEY, 'key|esc', 'exit|0')
    check(q('Doravo', 'An interrupted update has been completed.') in msgboxes(lines), 'the notice at the next start')
    check([l for l in lines if l.startswith('reg ')][0].endswith('"1.01"'), 'then the registry says 1.01')
    check(journal_leftovers(r) == [] and r.temp_left() == [], 'nothing left behind')


# --- Names outside the ANSI code page --------------------------------------------------------

@case('VexaWare')
def non_ascii_paths(r):
    # Cyrillic and CJK in the install directory (registry value), in TEMP and
    # in an archive entry (lang\русский 中文.txt): UTF-8 through the
    # A-functions, as the manifest's code page makes them.
    r.inst = os.path.join(r.work, 'Доравo установка 安装')
    r.tmp = os.path.join(r.work, 'временный 临时')
    os.makedirs(r.inst)
    os.makedirs(r.tmp)
    check(any('русский' in t for t, _ in r.doravo), 'the payload has a Cyrillic entry')
    lines = r.driver(*r.install_100(), 'start|' + r.exe('DoravoUpdate.exe', '-log'), 'dialog|0', 'click|1',
                     'msgbox|0', 'exit|0', 'regget|%s|Location' % KEY, 'regget|%s|Version' % KEY)
    check('exit 0 0' in lines, 'updated: 0')
    check(lines[-2].endswith('"%s"' % winpath(r.inst)), 'the location reads back')
    check(lines[-1].endswith('"1.01"'), 'registry version 1.01')
    r.check_installed(r.doravo)
    rows = read_versions(os.path.join(r.inst, 'lzx.ver'))
    check('#lang\\русский 中文.txt' in [n for n, _, _ in rows], 'lzx.ver names the entry in UTF-8')
    check(r.temp_left() == [], 'temporary archive removed')
    check('Exit code 0: updated' in read_log(r), 'log written')

    # The demo into a Cyrillic and CJK directory given on the command line.
    target = os.path.join(r.work, 'Демо 演示')
    lines = r.driver('start|%s' % r.exe('VexaDemoSetup.exe', '-silent -dir="%s"' % winpath(target)), 'exit|0')
    check('exit 0 0' in lines, 'demo installed: 0')
    r.check_installed(r.demo, root=target)


# --- Unattended runs ---------------------------------------------------------------------------

def read_log(r):
    path = os.path.join(r.work, 'LOG.LOG')
    if not os.path.exists(path):
        return ''
    with open(path, encoding='utf-8') as f:
        text = f.read().replace('\r\n', '\n')
    os.remove(path)
    return text


@case('VexaWare')
def silent_exit_codes(r):
    # Without a dialog and without a box: a box would hold the process and the
    # driver's exit step would time out. Each outcome has its code and log line.
    lines = r.driver(*r.install_100(), 'start|' + r.exe('DoravoUpdate.exe', '-SILENT -log'), 'exit|0',
                     'regget|%s|Version' % KEY)
    check('exit 0 0' in lines and lines[-1].endswith('"1.01"'), 'updated: 0 and the new version')
    r.check_installed(r.doravo)
    log = read_log(r)
    check('Update verslag: De update is aangebracht.\n' in log and 'Exit code 0: updated\n' in log, 'log: %r' % log)

    rows = [(t, 100) for t, _ in r.doravo]
    rows[1] = ('#README.TXT', 105)
    lines = r.driver(*r.install_100(rows), 'start|' + r.exe('DoravoUpdate.exe', '-silent -log'), 'exit|0',
                     'regget|%s|Version' % KEY)
    check('exit 0 6' in lines and lines[-1].endswith('"1.00"'), 'files left unchanged: 6, version kept')
    check('1 bestanden niet vervangen.' in read_log(r), 'the report in the log')

    os.remove(os.path.join(r.inst, 'lzx.ver'))
    steps = r.install_100(versions=False)
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe', '-silent'), 'exit|0')
    check('exit 0 5' in lines and r.snapshot() == before, 'no lzx.ver: 5, nothing changed')
    check(read_log(r) == '', 'no log without -log')

    lines = r.driver('regdel|' + KEY, 'start|' + r.exe('DoravoUpdate.exe', '-silent -log'), 'exit|0')
    check('exit 0 4' in lines, 'no install directory: 4')
    check('Exit code 4: install directory not found' in read_log(r), 'its log line')

    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + r.exe('DoravoUpdate.exe'), 'dialog|0',
                     'start|' + r.exe('DoravoUpdate.exe', '-silent -log'), 'exit|1', 'key|esc', 'exit|0',
                     'start|' + r.exe('DoravoUpdateFlipped.exe', '-silent -log'), 'exit|2',
                     'regget|%s|Version' % KEY)
    check('exit 1 1' in lines and 'exit 0 3' in lines, 'running: 1; the dialog cancelled: 3')
    check('exit 2 2' in lines and r.snapshot() == before and lines[-1].endswith('"1.00"'), 'fatal: 2, untouched')
    log = read_log(r)
    check('RunUpdate: damaged archive' in log and 'Exit code 2: ' in log, 'the fatal text in the log: %r' % log)
    check(r.temp_left() == [], 'temporary archive removed')

    # A file in use is not waited for: the run ends with its code at once.
    steps = r.install_100()
    lines = r.driver(*steps, 'hold|' + winpath(r.path('#help\\usage.txt')),
                     'start|' + r.exe('DoravoUpdate.exe', '-silent -log'), 'exit|0', 'regget|%s|Version' % KEY)
    check('exit 0 2' in lines and lines[-1].endswith('"1.00"'), 'a file in use: 2, version kept')
    check('usage.txt' in read_log(r), 'the log names the file')


@case('VexaWare', 'Marvik')
def silent_demo_and_family(r):
    group = start_menu_group()
    if group:
        shutil.rmtree(group)
    target = os.path.join(r.work, 'Vexa Demo dir')
    lines = r.driver('start|' + r.exe('VexaDemoSetup.exe', '-silent -dir=C:\\'), 'exit|0',
                     'start|%s' % r.exe('VexaDemoSetup.exe', '-silent -dir="%s\\"' % winpath(target)), 'exit|1')
    check('exit 0 4' in lines, 'a refused directory: 4')
    check('exit 1 0' in lines, 'installed: 0')
    r.check_installed(r.demo, root=target)
    check(start_menu_group() is not None, 'program group made without a dialog')

    lines = r.driver('regset|%s|Location|%s' % (FAMILY_KEY, winpath(r.inst)),
                     'start|' + r.exe('MarvikUpdate.exe', '-silent'), 'exit|0')
    check('exit 0 0' in lines, 'the family update installs: 0')
    r.check_installed(r.doravo)


# --- Layout at 96 and 144 DPI -------------------------------------------------------------------

def layout(lines):
    out = []
    for l in lines:
        if l.startswith('layout '):
            _, ident, kind, w, h, _, need_w, need_h, _, inside = l.split()
            out.append((int(ident), kind, int(w), int(h), int(need_w), int(need_h), int(inside)))
    return out


@case('VexaWare', 'Marvik')
def dialogs_at_96_and_144_dpi(r):
    # Every visible text fits its control in the dialog's font (a push button
    # and a group box keep a margin for their frame), and every control lies
    # inside the dialog, in both languages and at both DPIs.
    r.driver('regset|%s|Location|%s' % (FAMILY_KEY, winpath(r.inst)), *r.install_100())

    def set_dpi(dpi):
        subprocess.check_call([r.wine, 'reg', 'add', r'HKCU\Control Panel\Desktop', '/v', 'LogPixels', '/t',
                               'REG_DWORD', '/d', str(dpi), '/f'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    widths = {}
    try:
        for dpi in (144, 96):
            set_dpi(dpi)
            margin = 6 * dpi // 96
            for exe in ('DoravoUpdate.exe', 'MarvikUpdate.exe', 'VexaDemoSetup.exe'):
                for language in ('-dut', '-eng'):
                    lines = r.driver('start|' + r.exe(exe, language), 'dialog|0', 'layout|%d' % dpi, 'key|esc',
                                     'exit|0')
                    widths[exe, dpi] = int(field(lines, 'dialog ').split()[4])
                    where = '%s %s at %d DPI' % (exe, language, dpi)
                    measured = layout(lines)
                    check(len(measured) >= 12, where + ': controls measured')
                    for ident, kind, w, h, need_w, need_h, inside in measured:
                        what = '%s: control %d (%s) %dx%d needs %dx%d' % (where, ident, kind, w, h, need_w, need_h)
                        check(inside == 1, what + ' lies outside the dialog')
                        if kind == 'Edit':
                            continue  # it scrolls
                        frame = 2 * margin if kind == 'Button' else 0
                        check(need_w + frame <= w and need_h <= h, what + ': clipped')
    finally:
        set_dpi(96)
    for exe in ('DoravoUpdate.exe', 'MarvikUpdate.exe', 'VexaDemoSetup.exe'):
        check(abs(widths[exe, 144] * 2 - widths[exe, 96] * 3) < 30, '%s scales with the DPI: %d and %d pixels wide' %
              (exe, widths[exe, 96], widths[exe, 144]))


# --- A signed updater --------------------------------------------------------------------------

def throwaway_certificate(work):
    """A self-signed code-signing certificate: (PFX file, its password, PEM)."""
    key, pem, pfx = (os.path.join(work, n) for n in ('test.key', 'test.pem', 'test.pfx'))
    subprocess.check_call(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', pem,
                           '-subj', '/CN=LZX throwaway test signer', '-days', '2',
                           '-addext', 'extendedKeyUsage=codeSigning'], stderr=subprocess.DEVNULL)
    subprocess.check_call(['openssl', 'pkcs12', '-export', '-out', pfx, '-inkey', key, '-in', pem,
                           '-passout', 'pass:throwaway'])
    return pfx, 'throwaway', pem


def sign_copy(r, source, signed):
    """Copies source to signed and signs it with the build's signing step and a
    throwaway certificate; checks the signature; returns the step's environment."""
    pfx, password, pem = throwaway_certificate(r.work)
    shutil.copy(source, signed)
    env = dict(os.environ, LZX_SIGN_PFX=pfx, LZX_SIGN_PASSWORD=password)
    env.pop('LZX_SIGN_TIMESTAMP', None)
    subprocess.check_call([os.path.join(ROOT, 'scripts', 'sign-exe'), signed], env=env, stdout=subprocess.DEVNULL)
    verify = subprocess.run(['osslsigncode', 'verify', '-CAfile', pem, '-in', signed], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, universal_newlines=True)
    check(verify.returncode == 0 and 'Signature verification: ok' in verify.stdout,
          'the signature verifies: %s' % verify.stdout[-400:])
    return env


@case('VexaWare')
def signed_update(r):
    signed = os.path.join(r.work, 'DoravoUpdate.exe')
    env = sign_copy(r, os.path.join(r.bin, 'DoravoUpdate.exe'), signed)
    wrong = dict(env, LZX_SIGN_PASSWORD='not the password')
    check(subprocess.call([os.path.join(ROOT, 'scripts', 'sign-exe'), signed], env=wrong, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL) != 0, 'a wrong password fails the build step')
    # The signature sits after the image: the embedded archive's digest still
    # holds and the update installs.
    lines = r.driver(*r.install_100(), 'start|%s -silent' % winpath(signed), 'exit|0', 'regget|%s|Version' % KEY)
    check('exit 0 0' in lines and lines[-1].endswith('"1.01"'), 'the signed updater installs')
    r.check_installed(r.doravo)


# --- A release made by lzx make-updater --------------------------------------------------------

def install_101(r):
    """A Doravo 1.01 installation: the files of the sample update, "lzx.ver"
    with each at 101, and the registry."""
    for target, source in r.doravo:
        p = r.path(target)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        shutil.copy(source, p)
    write_versions(os.path.join(r.inst, 'lzx.ver'), [(t, 101) for t, _ in r.doravo])
    return ['regdel|' + KEY, 'regset|%s|Location|%s' % (KEY, winpath(r.inst)), 'regset|%s|Version|1.01' % KEY]


def release_102(r):
    """A release engineer's Doravo 1.02: the files of 1.01 with readme.txt
    changed and whatsnew.txt new, the list file and the product file edited
    from 1.01's. Returns the folder and the (target, source) items."""
    release = os.path.join(r.work, 'release 1.02')
    files = os.path.join(release, 'files')
    shutil.copytree(os.path.join(PAYLOAD, 'doravo', 'files'), files)
    shutil.copy(os.path.join(os.path.dirname(r.bin), 'payload-programs', 'Doravo.exe'), files)
    with open(os.path.join(files, 'readme.txt'), 'a') as f:
        f.write('\nDoravo 1.02: the readme of the new release.\n')
    with open(os.path.join(files, 'whatsnew.txt'), 'w') as f:
        f.write('What is new in Doravo 1.02.\n')
    with open(os.path.join(PAYLOAD, 'doravo', 'update.lst'), encoding='utf-8') as f:
        lines = [l for l in f.read().splitlines() if l]
    lines[0] = 'doravo102.lzx'
    lines = [l.replace('#@PROGRAMS@/', '') for l in lines]
    lines = [l.replace('readme.txt|V=101', 'readme.txt|V=102') for l in lines]
    lines += ['whatsnew.txt|V=102', '#whatsnew.txt']
    with open(os.path.join(release, 'update.lst'), 'w', encoding='utf-8') as f:
        f.write('\n'.join(lines) + '\n')
    with open(os.path.join(PAYLOAD, 'doravo', 'doravo.product'), encoding='utf-8') as f:
        product = f.read()
    for old, new in (('version = 1.01', 'version = 1.02'), ('version-numbers = 1.1.0.0', 'version-numbers = 1.2.0.0'),
                     ('versie 1.01 (22-mei-2003)', 'versie 1.02 (9-dec-2026)'),
                     ('version 1.01 (22-may-2003)', 'version 1.02 (9-dec-2026)'),
                     ('Doravo 1.01 update', 'Doravo 1.02 update')):
        check(old in product, 'the product file has ' + old)
        product = product.replace(old, new)
    with open(os.path.join(release, 'doravo 1.02.product'), 'w', encoding='utf-8') as f:
        f.write(product)
    items = entries(os.path.join(release, 'update.lst'))
    return release, items


def check_release_102(r, updater, items, args='-log'):
    """Runs a 1.02 updater on a 1.01 installation and checks what it shows,
    writes and says of itself."""
    lines = r.driver(*install_101(r), 'start|%s %s' % (winpath(updater), args), 'dialog|0', 'controls', 'click|1',
                     'msgbox|0', 'exit|0', 'regget|%s|Version' % KEY)
    texts = dict(DUTCH)
    texts[7] = 'versie 1.02 (9-dec-2026)'
    check_texts(lines, texts)
    check(msgboxes(lines) == [q('Update verslag', 'De update is aangebracht.')], 'closing message: %r' % msgboxes(lines))
    check('exit 0 0' in lines, 'exit code 0')
    check(lines[-1].endswith('"1.02"'), 'registry version 1.02: ' + lines[-1])
    r.check_installed(items)
    rows = {n: v for n, v, _ in read_versions(os.path.join(r.inst, 'lzx.ver'))}
    check(rows['#readme.txt'] == 102 and rows['#whatsnew.txt'] == 102 and rows['#license.txt'] == 101,
          'lzx.ver: %r' % rows)
    with open(os.path.join(r.work, 'LOG.LOG')) as f:
        log = f.read().replace('\r\n', '\n')
    # The updater writes equal versions anew: every file but the new one is
    # "updated", readme.txt with its new bytes.
    check('New files: 1\nUpdated files: %d\nUnchanged files: 0' % (len(items) - 1) in log, 'counts: %r' % log)
    os.remove(os.path.join(r.work, 'LOG.LOG'))
    kinds = {kind: data for (kind, _, _), data in peres.resources(updater).items()}
    file_version, product_version, strings = peres.version_strings(kinds[peres.RT_VERSION])
    check(file_version == (1, 2, 0, 0) and product_version == (1, 2, 0, 0), 'version numbers %r' % (file_version,))
    for key, value in (('FileVersion', '1.02'), ('ProductVersion', '1.02'), ('FileDescription', 'Doravo 1.02 update'),
                       ('ProductName', 'Doravo'), ('OriginalFilename', 'DoravoUpdate.exe')):
        check(strings.get(key) == value, 'version resource %s is %r' % (key, strings.get(key)))
    check(peres.RT_MANIFEST in kinds and peres.RT_GROUP_ICON in kinds, 'manifest and icons kept')


@case('VexaWare')
def release_by_make_updater(r):
    release, items = release_102(r)
    stub = os.path.join(r.bin, 'stubs', 'VexaUpdateStub.exe')
    made = subprocess.run([r.lzx, 'make-updater', stub, 'doravo 1.02.product', 'update.lst', '-o',
                           'DoravoUpdate.exe'], cwd=release, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)
    print(made.stdout.strip())
    check(made.returncode == 0, 'lzx make-updater: %s' % made.stdout)
    updater = os.path.join(release, 'DoravoUpdate.exe')
    check_release_102(r, updater, items)

    # Signed afterwards, it still verifies and still updates.
    signed = os.path.join(r.work, 'signed', 'DoravoUpdate.exe')
    os.makedirs(os.path.dirname(signed))
    sign_copy(r, updater, signed)
    check_release_102(r, signed, items)

    # A signed updater as the stub of the next: the signature is dropped, not
    # carried over broken.
    again = subprocess.run([r.lzx, 'make-updater', signed, 'doravo 1.02.product', 'update.lst', '-o', 'again.exe'],
                           cwd=release, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    with open(os.path.join(release, 'again.exe'), 'rb') as f, open(updater, 'rb') as g:
        check(again.returncode == 0 and f.read() == g.read(), 'the same updater from the signed one')


@case('VexaWare')
def release_by_make_updater_on_windows(r):
    # The same release with lzx.exe under Wine: Windows paths, and the output
    # is byte for byte the native tool's.
    release, items = release_102(r)
    stub = os.path.join(r.bin, 'stubs', 'VexaUpdateStub.exe')
    made = subprocess.run([r.wine, os.path.join(r.bin, 'lzx.exe'), 'make-updater', winpath(stub),
                           'doravo 1.02.product', 'update.lst', '-o', winpath(os.path.join(release, 'Doravo 1.02.exe'))],
                          cwd=release, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    print(made.stdout.strip())
    check(made.returncode == 0, 'lzx.exe make-updater: %s' % made.stdout)
    updater = os.path.join(release, 'Doravo 1.02.exe')
    check_release_102(r, updater, items)
    native = subprocess.run([r.lzx, 'make-updater', '-q', stub, 'doravo 1.02.product', 'update.lst', '-o',
                             'native.exe'], cwd=release, stdout=subprocess.DEVNULL)
    with open(os.path.join(release, 'native.exe'), 'rb') as f, open(updater, 'rb') as g:
        check(native.returncode == 0 and f.read() == g.read(), 'lzx.exe writes what the native lzx writes')
    # A stub that is not one is refused there too, and leaves the output.
    made = subprocess.run([r.wine, os.path.join(r.bin, 'lzx.exe'), 'make-updater', 'update.lst',
                           'doravo 1.02.product', 'update.lst', '-o', 'Doravo 1.02.exe'], cwd=release,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    check(made.returncode == 2 and 'lzx: make-updater: update.lst is not an updater stub' in made.stdout,
          'a list file as the stub: %d %s' % (made.returncode, made.stdout))
    with open(os.path.join(release, 'native.exe'), 'rb') as f, open(updater, 'rb') as g:
        check(f.read() == g.read(), 'the output is as it was')


@case('VexaWare')
def stub_and_damaged_data_section(r):
    # The stub itself is no updater: it says so and ends with 2.
    steps = r.install_100()
    before = r.snapshot()
    lines = r.driver(*steps, 'start|' + winpath(os.path.join(r.bin, 'stubs', 'VexaUpdateStub.exe')), 'msgbox|0',
                     'exit|0')
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and boxes[0].startswith('"Einde programma" "Dit programma is een lege updater') and
          'lzx make-updater' in boxes[0], 'the stub says what it is: %r' % boxes)
    check('exit 0 2' in lines, 'exit code 2')
    # A data section whose header points outside it: the fatal path, no crash.
    with open(os.path.join(r.bin, 'DoravoUpdate.exe'), 'rb') as f:
        data = bytearray(f.read())
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    table = pe + 24 + struct.unpack_from('<H', data, pe + 20)[0]
    rows = [table + 40 * i for i in range(struct.unpack_from('<H', data, pe + 6)[0])]
    at = next(struct.unpack_from('<I', data, row + 20)[0] for row in rows if data[row:row + 8] == b'.lzxpak\0')
    check(data[at:at + 8] == b'LZXDATA\x1a', 'the data section starts with its header')
    struct.pack_into('<I', data, at + 32, 0x7FFFFFF0)
    bad = os.path.join(r.work, 'Damaged header.exe')
    with open(bad, 'wb') as f:
        f.write(data)
    lines = r.driver('start|' + winpath(bad), 'msgbox|0', 'exit|0')
    boxes = msgboxes(lines)
    check(len(boxes) == 1 and 'Dit programma is beschadigd' in boxes[0] and 'outside the section' in boxes[0],
          'a damaged header is refused: %r' % boxes)
    check('exit 0 2' in lines, 'exit code 2')
    check(r.snapshot() == before, 'installation untouched')


# --- What the files say of themselves --------------------------------------------------------

VARIANTS = {  # file: its product file and dialog template
    'DoravoUpdate.exe': ('doravo/doravo.product', 'update'),
    'VexaDemoSetup.exe': ('demo/demo.product', 'demo'),
    'MarvikUpdate.exe': ('doravo/marvik.product', 'family'),
}
STUBS = {'DoravoUpdate.exe': 'VexaUpdateStub.exe', 'VexaDemoSetup.exe': 'VexaDemoSetupStub.exe',
         'MarvikUpdate.exe': 'MarvikUpdateStub.exe'}


def pe_checksum(data, field):
    """16-bit words summed with the carry folded back, the checksum field
    taken as zero, plus the file's length."""
    words = bytearray(data) + (b'\0' if len(data) % 2 else b'')
    words[field:field + 4] = b'\0\0\0\0'
    total = 0
    for (w,) in struct.iter_unpack('<H', bytes(words)):
        total += w
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + len(data)


SUPPORTED_OS = {'{35138b9a-5d96-4fbd-8e2d-a2440225f93a}', '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',
                '{1f676c76-80e1-4239-95bb-83d0f6d0da78}', '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}  # 7 to 10/11


def check_manifest(name, text):
    root = ET.fromstring(text)
    by_tag = {}
    for e in root.iter():
        by_tag.setdefault(e.tag.split('}')[-1], []).append(e)
    check([e.get('level') for e in by_tag.get('requestedExecutionLevel', [])] == ['asInvoker'], name + ': asInvoker')
    controls = [e for e in by_tag.get('assemblyIdentity', []) if e.get('name') == 'Microsoft.Windows.Common-Controls']
    check(len(controls) == 1 and controls[0].get('version') == '6.0.0.0', name + ': common controls 6')
    check({e.get('Id') for e in by_tag.get('supportedOS', [])} == SUPPORTED_OS, name + ': Windows 7 to 11')
    check([e.text.split(',')[0].strip() for e in by_tag.get('dpiAwareness', [])] == ['PerMonitorV2'],
          name + ': per-monitor DPI awareness v2')
    check([e.text for e in by_tag.get('activeCodePage', [])] == ['UTF-8'], name + ': UTF-8 code page')


def product_fields(path):
    """The fields of a product file as given (the first of each; lzx
    make-updater has checked them), with resource-product filled in."""
    fields = {}
    with open(path, encoding='utf-8-sig') as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith('#') and '=' in line:
                key, _, value = line.partition('=')
                fields.setdefault(key.strip(), value.strip())
    fields.setdefault('resource-product', fields['name'])
    return fields


@case('resources')
def resources_read_back(r):
    for name, (product_file, dialog) in VARIANTS.items():
        product = product_fields(os.path.join(ROOT, 'payload', product_file))
        numbers = tuple(int(n) for n in product['version-numbers'].split('.'))
        res = peres.resources(os.path.join(r.bin, name))
        kinds = {}
        for (kind, ident, _), data in res.items():
            kinds.setdefault(kind, {})[ident] = data
        check(set(kinds.get(peres.RT_MANIFEST, {})) == {1}, name + ': one process manifest')
        check_manifest(name, kinds[peres.RT_MANIFEST][1])
        file_version, product_version, strings = peres.version_strings(kinds[peres.RT_VERSION][1])
        check(file_version == numbers and product_version == numbers, name + ': version numbers %r' % (file_version,))
        want = {'ProductName': product['resource-product'], 'CompanyName': product['company'],
                'FileDescription': product['description'], 'FileVersion': product['version'],
                'ProductVersion': product['version'], 'OriginalFilename': name,
                'LegalCopyright': product['copyright'].replace('&&', '&')}
        for key, value in want.items():
            check(strings.get(key) == value, '%s: %s is %r, not %r' % (name, key, strings.get(key), value))
        groups = kinds[peres.RT_GROUP_ICON]
        check(sorted(groups) == [1001, 1002, 1004, 1006], name + ': icons')
        for ident, group in groups.items():
            check(peres.icon_group_sizes(group) == [16, 32, 48, 256], '%s: icon %d sizes' % (name, ident))
        check(peres.symbol_count(os.path.join(r.bin, name)) == 0, name + ': stripped')
        # make-updater's checksum, and the linker's of the stub it came from.
        for path in (os.path.join(r.bin, name), os.path.join(r.bin, 'stubs', STUBS[name])):
            with open(path, 'rb') as f:
                data = f.read()
            field = struct.unpack_from('<I', data, 0x3C)[0] + 24 + 64
            check(struct.unpack_from('<I', data, field)[0] == pe_checksum(data, field), path + ': PE checksum')
    print('manifest, version resource and icons of %d variants' % len(VARIANTS))


@case('VexaWare')
def kill_campaign_large(r):
    # A generated update of 48 files and 32 MB over an older installation,
    # ended at random moments of its run.
    import random
    import time
    r.doravo = entries(os.path.join(os.path.dirname(r.bin), 'large-update', 'update.lst'))
    steps = r.install_100([(t, 100) for t, _ in r.doravo])
    began = time.time()
    r.driver(*steps, 'start|' + r.exe('DoravoUpdateLarge.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0')
    took = int((time.time() - began) * 1000)
    r.check_installed(r.doravo)
    fresh = r.snapshot()
    rng = random.Random(1313)
    seen = {'old': 0, 'new': 0}
    for _ in range(int(os.environ.get('LZX_KILLS', '30'))):
        steps = r.install_100([(t, 100) for t, _ in r.doravo])
        seen[kill_and_restart(r, steps, ['kill|0|%d' % rng.randint(0, took * 2 // 3)], fresh, 'DoravoUpdateLarge.exe')] += 1
    print('large campaign: a run of %d ms, kills gave %r' % (took, seen))
    steps = r.install_100([(t, 100) for t, _ in r.doravo])
    r.driver(*steps, 'start|' + r.exe('DoravoUpdateLarge.exe'), 'dialog|0', 'click|1', 'msgbox|0', 'exit|0')
    check(r.snapshot() == fresh, 'a clean install afterwards')


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--list', action='store_true')
    p.add_argument('--bin')
    p.add_argument('--work')
    p.add_argument('--wine')
    p.add_argument('--lzx', help='the native lzx tool')
    p.add_argument('case', nargs='?')
    a = p.parse_args()
    if a.list:
        for name, (_, locks) in CASES.items():
            print(name, ','.join(locks))
        return 0
    f, _ = CASES[a.case]
    try:
        f(Run(a, a.case))
    except Failure as e:
        print('FAILED:', e)
        return 1
    print('passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
