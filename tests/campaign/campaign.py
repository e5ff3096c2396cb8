#!/usr/bin/env python3
"""Damaged archives through the lzx tool.

Packs a sample archive, then damages it: truncations at 257 lengths spread
evenly over its size, and 1,000 seeded random changes (bit flips and byte
overwrites, alternately). For each damaged archive, `lzx test` and `lzx
unpack` into a fresh installation (older copies of the targets and an
lzx.ver) must end either with exit 0 and the archive's files in place, or
with exit 2 and a fatal message, the installation exactly as it was. Never
a signal, never a file outside the installation, never a truncated target.

The archive format carries no check of its data: a change inside a block's
coded bits often decodes to a block of the right size with other bytes, which
only the digest that travels beside the archive (printed by `lzx pack`) can
tell. So `lzx test --digest` must refuse every damaged archive; an unpack
without it that ends with exit 0 and other content is counted and listed
(with --strict-content it fails the run).

usage: campaign.py LZX_TOOL WORKDIR [--cases N] [--strict-content]
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys

SEED = 20261208
TRUNCATIONS = 257
CHANGES = 1000
RECORD = 432

# (target name in the archive, path below the installation, size, kind, E=)
ENTRIES = [
    ("#prog.exe", "prog.exe", 70000, "code", 0),
    ("#data\\words.txt", "data/words.txt", 30000, "text", 0),
    ("#data\\deep\\zeros.bin", "data/deep/zeros.bin", 20000, "zeros", 0),
    ("#key.dat", "key.dat", 3000, "noise", 1),
    ("#empty.txt", "empty.txt", 0, "text", 0),
]
NEW_VERSION = 101
OLD_VERSION = 100


def content(kind, size, salt):
    rnd = random.Random("%s-%d-%d" % (kind, size, salt))
    if kind == "zeros":
        return bytes(size)
    if kind == "noise":
        return bytes(rnd.getrandbits(8) for _ in range(size))
    if kind == "text":
        words = [b"update", b"version", b"file", b"install", b"archive", b"block", b"\r\n"]
        out = bytearray()
        while len(out) < size:
            out += rnd.choice(words) + b" "
        return bytes(out[:size])
    # "code": short repeated patterns with variation, as in an executable
    out = bytearray()
    while len(out) < size:
        out += bytes([0x55, 0x8B, 0xEC, rnd.getrandbits(8), 0x00, 0x00]) * rnd.randint(1, 4)
        out += bytes(rnd.getrandbits(8) for _ in range(rnd.randint(0, 12)))
    return bytes(out[:size])


def scramble(data):
    """The E=1 transformation (its own inverse): what the installation ends up with."""
    b = bytearray(data)
    s = 0x7C3E15D9
    for p in range(1, len(b) - 3):
        w = struct.unpack_from("<I", b, p)[0] ^ s
        struct.pack_into("<I", b, p, w)
        s = (s * 0x2F6A91C5 + 1) & 0xFFFFFFFF
    return bytes(b)


def version_file(records):
    out = bytearray()
    for name, version in records:
        r = bytearray(RECORD)
        r[:len(name)] = name.encode()
        struct.pack_into("<i", r, 260, version)
        out += r
    return bytes(out)


def snapshot(root):
    """Every file below root with its bytes; directories as None."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for d in dirnames:
            state[os.path.relpath(os.path.join(dirpath, d), root)] = None
        for f in filenames:
            p = os.path.join(dirpath, f)
            with open(p, "rb") as fh:
                state[os.path.relpath(p, root)] = fh.read()
    return state


class Campaign:
    def __init__(self, tool, work, strict_content):
        self.strict_content = strict_content
        self.silent = []
        self.digest_refused = 0
        self.tool = os.path.abspath(tool)
        self.work = os.path.abspath(work)
        self.failures = []
        self.outcomes = {}

    def run(self, args, cwd):
        return subprocess.run([self.tool] + args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        src = os.path.join(self.work, "src")
        os.makedirs(src)
        self.new = {}
        self.old = {}
        lines = ["sample.lzx", src + "/"]
        for i, (name, path, size, kind, e) in enumerate(ENTRIES):
            data = content(kind, size, 1)
            with open(os.path.join(src, "f%d" % i), "wb") as f:
                f.write(data)
            lines.append("f%d|V=%d|E=%d" % (i, NEW_VERSION, e))
            lines.append(name)
            self.new[path] = scramble(data) if e == 1 else data
            self.old[path] = content(kind, size // 2 + 7, 2)
        with open(os.path.join(self.work, "list.txt"), "w") as f:
            f.write("\n".join(lines) + "\n")
        r = self.run(["pack", "list.txt"], self.work)
        if r.returncode != 0:
            sys.exit("campaign: packing the sample failed: %s" % r.stderr.decode(errors="replace"))
        digest = re.search(r"CRC-32 ([0-9A-Fa-f]{8})", r.stdout.decode(errors="replace"))
        if not digest:
            sys.exit("campaign: lzx pack printed no digest: %s" % r.stdout.decode(errors="replace"))
        self.digest = digest.group(1)
        with open(os.path.join(self.work, "sample.lzx"), "rb") as f:
            self.archive = f.read()
        self.ver = version_file([(name, OLD_VERSION) for name, *_ in ENTRIES])
        # The expected version file after a complete run: every entry updated.
        self.install_before = dict(self.old)
        self.install_before["lzx.ver"] = self.ver

    def install(self, root):
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        for path, data in self.install_before.items():
            p = os.path.join(root, path)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(data)

    def fail(self, case, what):
        self.failures.append("%s: %s" % (case, what))

    def check_end(self, case, step, r):
        """0 or 2 with a message; anything else (a signal above all) fails."""
        if r.returncode == 0:
            return 0
        if r.returncode == 2 and r.stderr.strip():
            return 2
        self.fail(case, "%s ended with %d: %s" % (step, r.returncode, r.stderr.decode(errors="replace")[:200]))
        return None

    def one(self, case, damaged):
        case_dir = os.path.join(self.work, "case")
        inst = os.path.join(case_dir, "install")
        cwd = os.path.join(case_dir, "cwd")
        self.install(inst)
        os.makedirs(cwd, exist_ok=True)
        arc = os.path.join(case_dir, "damaged.lzx")
        with open(arc, "wb") as f:
            f.write(damaged)
        outside_before = sorted(os.listdir(case_dir))
        # A compressed file's name holds 79 characters: the archive is named
        # from the working directory, wherever the build folder is.
        arc = os.path.relpath(arc, cwd)

        t = self.check_end(case, "test", self.run(["test", arc], cwd))
        d = self.check_end(case, "test --digest", self.run(["test", "--digest", self.digest, arc], cwd))
        if d is not None and d != (0 if damaged == self.archive else 2):
            self.fail(case, "test --digest ended with %d" % d)
        elif d == 2:
            self.digest_refused += 1
        # The names the damaged archive carries: a name without '#' would be
        # used as a path of its own, which the sample never has.
        listing = self.run(["list", arc], cwd)
        if listing.returncode == 0:
            names = [l.split()[0] for l in listing.stdout.decode(errors="replace").splitlines()[:-1] if l]
            if any(not n.startswith("#") for n in names):
                self.fail(case, "damaged archive lists names outside the installation: %r" % names)
                return
        u = self.check_end(case, "unpack", self.run(["unpack", arc, inst, "--table", os.path.join(inst, "lzx.ver")], cwd))
        if t is None or u is None:
            return
        if t != u:
            self.fail(case, "test ended with %d but unpack with %d" % (t, u))
        after = snapshot(inst)
        if u == 2:
            expected = {k: v for k, v in snapshot_of(self.install_before).items()}
            if after != expected:
                changed = sorted(set(after) ^ set(expected) | {k for k in after if k in expected and after[k] != expected[k]})
                self.fail(case, "fatal end changed the installation: %s" % changed[:5])
            self.outcomes["fatal"] = self.outcomes.get("fatal", 0) + 1
        else:
            short = [p for p, data in self.new.items() if len(after.get(p.replace("/", os.sep)) or b"") != len(data)]
            if short:
                self.fail(case, "exit 0 with a target of the wrong size: %s" % short)
            bad = [p for p, data in self.new.items() if after.get(p.replace("/", os.sep)) != data]
            if bad and not short:
                if self.strict_content:
                    self.fail(case, "exit 0 with other content: %s" % bad)
                else:
                    self.silent.append("%s: %s" % (case, bad))
            ver = after.get("lzx.ver")
            if ver is None or len(ver) != RECORD * len(ENTRIES):
                self.fail(case, "lzx.ver not rewritten whole")
            self.outcomes["complete"] = self.outcomes.get("complete", 0) + 1
        if sorted(os.listdir(case_dir)) != outside_before or os.listdir(cwd):
            self.fail(case, "files written outside the installation: %s" % os.listdir(cwd))

    def cases(self, limit):
        n = len(self.archive)
        out = []
        for i in range(TRUNCATIONS):
            length = i * n // TRUNCATIONS
            out.append(("truncate %d" % length, self.archive[:length]))
        rnd = random.Random(SEED)
        for i in range(CHANGES):
            b = bytearray(self.archive)
            pos = rnd.randrange(n)
            if i % 2 == 0:
                bit = rnd.randrange(8)
                b[pos] ^= 1 << bit
                out.append(("flip byte %d bit %d" % (pos, bit), bytes(b)))
            else:
                value = rnd.choice([v for v in range(256) if v != b[pos]])
                b[pos] = value
                out.append(("byte %d := %d" % (pos, value), bytes(b)))
        return out[:limit] if limit else out


def snapshot_of(files):
    state = {}
    for path, data in files.items():
        parts = path.split("/")
        for k in range(1, len(parts)):
            state[os.path.join(*parts[:k])] = None
        state[os.path.join(*parts)] = data
    return state


def main():
    args = sys.argv[1:]
    limit = 0
    strict = "--strict-content" in args
    if strict:
        args.remove("--strict-content")
    if "--cases" in args:
        i = args.index("--cases")
        limit = int(args[i + 1])
        del args[i:i + 2]
    tool, work = args
    c = Campaign(tool, work, strict)
    c.prepare()
    # The undamaged archive first: the oracle itself must hold.
    c.one("undamaged", c.archive)
    if c.failures or c.outcomes.get("complete") != 1:
        sys.exit("campaign: the undamaged archive does not install: %s" % c.failures)
    cases = c.cases(limit)
    for name, data in cases:
        c.one(name, data)
    complete = c.outcomes.get("complete", 0) - 1
    print("campaign: %d cases on an archive of %d bytes: %d fatal, %d complete (%d of them with other content), "
          "%d failures" % (len(cases), len(c.archive), c.outcomes.get("fatal", 0), complete, len(c.silent),
                           len(c.failures)))
    print("campaign: lzx test --digest refused %d of %d damaged archives" % (c.digest_refused, len(cases)))
    for s in c.silent[:5]:
        print("  other content, undetected: " + s)
    for f in c.failures[:40]:
        print("  " + f)
    sys.exit(1 if c.failures else 0)


if __name__ == "__main__":
    main()
