#!/usr/bin/env python3
"""The lzx tool as a shell user runs it.

Absolute, relative and deep paths (200 and 600 characters), names with blanks
and UTF-8 bytes, a read-only current directory (a read-only tmpfs, since root
ignores permission bits), a directory that does not exist yet, /dev/null, and
failing commands over existing outputs. Each case checks the bytes produced,
the exit code, the message, and that nothing was left behind or written
anywhere but the target.

usage: shell_user.py LZX_TOOL WORKDIR
"""
import os
import pty
import shutil
import signal
import subprocess
import sys
import time

failures = []
TOOL = WORK = None


def snapshot(root):
    """Every path under root with its bytes (None for a directory)."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for d in dirnames:
            found[os.path.relpath(os.path.join(dirpath, d), root)] = None
        for f in filenames:
            p = os.path.join(dirpath, f)
            with open(p, "rb") as fh:
                found[os.path.relpath(p, root)] = fh.read()
    return found


def run(args, cwd=None):
    env = dict(os.environ, TMPDIR=os.path.join(WORK, "tmp"))
    return subprocess.run([TOOL] + args, cwd=cwd or WORK, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=60)


UNDONE = "lzx: the unpack was undone: the target directory is as it was\n"


def check(case, ok, detail=""):
    if not ok:
        failures.append("%s: %s" % (case, detail))


def expect(case, r, code, message=None):
    """Exit code and, for a failure, one line of message that starts with 'lzx: ' (and, where an
    unpack had begun, the line that says it was undone)."""
    err = r.stderr.decode("utf-8", errors="replace")
    check(case, r.returncode == code, "exit %d, expected %d: %r" % (r.returncode, code, err[:300]))
    if code == 2:
        cause = err[:-len(UNDONE)] if err.endswith(UNDONE) else err
        check(case, cause.startswith("lzx: ") and cause.count("\n") == 1, "message %r" % err)
        if message:
            check(case, message in err, "message %r lacks %r" % (err, message))
    return err


def changes(before, after):
    return sorted(k for k in set(before) | set(after) if before.get(k, 0) != after.get(k, 0))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def sample(n, seed):
    out, x = bytearray(), seed * 2654435761 % 2**32 or 1
    text = b"the quick brown fox jumps over the lazy dog "
    while len(out) < n:
        x = (x * 1103515245 + 12345) % 2**31
        out += text[x % 20:x % 20 + 8 + x % 13] if x % 5 else bytes([x >> 8 & 255])
    return bytes(out[:n])


def main():
    global TOOL, WORK
    TOOL, WORK = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(os.path.join(WORK, "tmp"))

    # Sources with blanks and UTF-8 bytes in their names.
    files = {"Read me.txt": sample(3000, 1), "donn\u00e9es/\u00e9t\u00e9 1.bin": sample(70000, 2),
             "empty": b"", "sub/deep/c.txt": sample(20000, 3)}
    for name, data in files.items():
        write(os.path.join(WORK, "src", name), data)
    entries = "".join("%s|V=101\n#%s\n" % (n, n) for n in files)
    with open(os.path.join(WORK, "list.txt"), "w", encoding="utf-8") as f:
        f.write("my archive \u00e9.lzx\nsrc/\n" + entries)

    def installed(root):
        return all(os.path.isfile(os.path.join(root, n)) and read(os.path.join(root, n)) == d
                   for n, d in files.items())

    # Relative: pack, list, test, unpack into a directory that does not exist.
    arc = os.path.join(WORK, "my archive \u00e9.lzx")
    expect("pack", run(["pack", "list.txt"]), 0)
    listing = run(["list", "my archive \u00e9.lzx"]).stdout.decode("utf-8")
    check("list", "#donn\u00e9es/\u00e9t\u00e9 1.bin" in listing and "4 entries" in listing, listing)
    expect("test", run(["test", "my archive \u00e9.lzx"]), 0)
    expect("unpack relative", run(["unpack", "my archive \u00e9.lzx", "new dir/a/b"]), 0)
    check("unpack relative", installed(os.path.join(WORK, "new dir/a/b")), "files differ")

    # Absolute and deep: more than 200 characters, and more than 600.
    for length, label in ((200, "deep 200"), (600, "deep 600")):
        deep = os.path.join(WORK, label)
        while len(deep) <= length:
            deep = os.path.join(deep, "d\u00e9 %s" % ("x" * 34))
        os.makedirs(deep)
        shutil.copy(arc, os.path.join(deep, "a.lzx"))
        before = snapshot(WORK)
        inst = os.path.join(deep, "inst \u00e9")
        ver = os.path.join(deep, "lzx.ver")
        expect(label + " unpack", run(["unpack", os.path.join(deep, "a.lzx"), inst, "--table", ver]), 0)
        check(label + " unpack", installed(inst), "files differ")
        check(label + " version file", len(read(ver) or b"") == 4 * 432, "lzx.ver missing or of the wrong size")
        after = snapshot(WORK)
        extra = [k for k in changes(before, after) if not k.startswith(os.path.relpath(inst, WORK))]
        check(label + " nothing else", extra == [os.path.relpath(ver, WORK)], extra)
        c = os.path.join(deep, "c \u00e9.lzx")
        expect(label + " compress", run(["compress", "--mode", "wbh", os.path.join(WORK, "src/Read me.txt"), c]), 0)
        expect(label + " decompress", run(["decompress", c, os.path.join(deep, "back")]), 0)
        check(label + " round trip", read(os.path.join(deep, "back")) == files["Read me.txt"], "bytes differ")

    # /dev/null and its directory: no scratch file in /dev, none in TMPDIR.
    dev_before = sorted(os.listdir("/dev"))
    expect("decompress /dev/null", run(["decompress", arc, "/dev/null"]), 0)
    expect("compress /dev/null", run(["compress", "src/Read me.txt", "/dev/null"]), 0)
    check("/dev", sorted(os.listdir("/dev")) == dev_before, "/dev changed")
    check("TMPDIR", os.listdir(os.path.join(WORK, "tmp")) == [], os.listdir(os.path.join(WORK, "tmp")))

    # /dev/stdout into a pipe and into a file the shell opened: the data alone goes there (the
    # report to standard error), and /dev/stdout stays the link it was.
    expect("compress to a file", run(["compress", "src/Read me.txt", "c.lzx"]), 0)
    stdout_link = os.readlink("/dev/stdout")
    r = run(["decompress", "c.lzx", "/dev/stdout"])
    expect("decompress /dev/stdout", r, 0)
    check("decompress /dev/stdout", r.stdout == files["Read me.txt"], "%d bytes on standard output" % len(r.stdout))
    check("decompress /dev/stdout", r.stderr == b"3000 bytes\n", r.stderr)
    with open(os.path.join(WORK, "shell.lzx"), "wb") as shell_file:
        r = subprocess.run([TOOL, "compress", "src/Read me.txt", "/dev/stdout"], cwd=WORK, stdout=shell_file,
                           stderr=subprocess.PIPE, timeout=60)
    expect("compress /dev/stdout", r, 0)
    check("compress /dev/stdout", read(os.path.join(WORK, "shell.lzx")) == read(os.path.join(WORK, "c.lzx")),
          "other bytes than compress into a file")
    if not (os.path.islink("/dev/stdout") and os.readlink("/dev/stdout") == stdout_link):
        failures.append("/dev/stdout: /dev/stdout was replaced")
        try:  # put it back for what runs after this test
            os.unlink("/dev/stdout")
            os.symlink(stdout_link, "/dev/stdout")
        except OSError:
            pass

    # An output that is a symbolic link: the file it names gets the bytes, and the link stays.
    write(os.path.join(WORK, "linked/target"), b"old")
    os.symlink("linked/target", os.path.join(WORK, "link"))
    expect("decompress into a link", run(["decompress", "c.lzx", "link"]), 0)
    check("decompress into a link", os.path.islink(os.path.join(WORK, "link")) and
          read(os.path.join(WORK, "linked/target")) == files["Read me.txt"] and
          os.listdir(os.path.join(WORK, "linked")) == ["target"], "the link or its file is wrong")

    # Names that leave DIR are refused, and nothing is written anywhere.
    with open(os.path.join(WORK, "escape.txt"), "w") as f:
        f.write("escape.lzx\nsrc/\nempty|V=101\n../escape\nempty|V=101\n%s/abs_escape\n" % WORK)
    expect("pack escape", run(["pack", "escape.txt"]), 0)
    before = snapshot(WORK)
    expect("unpack escape", run(["unpack", "escape.lzx", "out"]), 2, "unsafe name [../escape]")
    check("unpack escape", snapshot(WORK) == before and not os.path.exists(os.path.join(WORK, "../escape")),
          changes(before, snapshot(WORK)))

    # Ctrl+C or a signal to end, in the middle of a command: the old output stays, no scratch file
    # is left, and an unpack is undone. The signal is sent once the command's first scratch file is
    # there (96 MB of random bytes take a good half second).
    def interrupted(case, args, watch, sig):
        before = snapshot(WORK)
        p = subprocess.Popen([TOOL] + args, cwd=WORK, env=dict(os.environ, TMPDIR=os.path.join(WORK, "tmp")),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while p.poll() is None and time.monotonic() < deadline:
            if any(n.startswith(("lz", "~lzx")) and n.endswith((".tmp", ".new")) for n in os.listdir(watch)):
                break
            time.sleep(0.002)
        p.send_signal(sig)
        out, err = p.communicate(timeout=60)
        check(case, p.returncode == 2 and err.startswith(b"lzx: interrupted\n"), "exit %d: %r" % (p.returncode, err))
        check(case, snapshot(WORK) == before, changes(before, snapshot(WORK)))

    write(os.path.join(WORK, "big/random.bin"), os.urandom(96 << 20))
    write(os.path.join(WORK, "big/random.lzx"), b"old")
    interrupted("compress, SIGTERM", ["compress", "-T", "1", "big/random.bin", "big/random.lzx"],
                os.path.join(WORK, "big"), signal.SIGTERM)
    with open(os.path.join(WORK, "big.txt"), "w") as f:
        f.write("big/all.lzx\nbig/\nrandom.bin|V=101\n#random.bin\n")
    expect("pack big", run(["pack", "big.txt"]), 0)
    write(os.path.join(WORK, "big inst/random.bin"), b"old")
    interrupted("unpack, SIGINT", ["unpack", "-T", "1", "--rewrite-equal", "big/all.lzx", "big inst"],
                os.path.join(WORK, "big inst"), signal.SIGINT)
    shutil.rmtree(os.path.join(WORK, "big"))
    shutil.rmtree(os.path.join(WORK, "big inst"))
    os.unlink(os.path.join(WORK, "big.txt"))

    # Failing commands over existing outputs: the old bytes stay, no scratch.
    write(os.path.join(WORK, "out/Read me.txt"), b"old")
    write(os.path.join(WORK, "old.lzx"), b"old archive")
    write(os.path.join(WORK, "bad.txt"), b"bad.lzx\nsrc/\nempty|V=101\n#e\nmissing|V=101\n#m\n")
    write(os.path.join(WORK, "bad.lzx"), b"old archive")
    damaged = bytearray(read(arc))
    damaged[len(damaged) // 2] ^= 0xFF
    damaged[len(damaged) // 2 + 1] ^= 0x55
    write(os.path.join(WORK, "damaged.lzx"), bytes(damaged))
    for label, args, message in (
            ("compress Sor", ["compress", "--mode", "wbs", "src/Read me.txt", "old.lzx"], "SorPack: no empty rows"),
            ("pack missing source", ["pack", "bad.txt"], "cannot open [src/missing]: No such file or directory"),
            ("decompress damaged", ["decompress", "damaged.lzx", "out/Read me.txt"], None),
            ("decompress into a missing directory", ["decompress", arc, "nowhere/x"],
             "cannot create [nowhere/x]: No such file or directory (code 211)"),
            ("unpack below a file", ["unpack", arc, "old.lzx/sub"], "cannot create [old.lzx/sub]: Not a directory"),
            ("unpack with the version file's directory missing",
             ["unpack", arc, "out", "--table", "nowhere/lzx.ver", "--rewrite-equal"],
             "cannot create [nowhere/lzx.ver]")):
        before = snapshot(WORK)
        r = run(args)
        if label == "decompress damaged" and r.returncode == 0:
            continue  # the damage decoded to something whole: nothing to check here
        expect(label, r, 2, message)
        check(label, snapshot(WORK) == before, changes(before, snapshot(WORK)))

    # Progress on a terminal only, erased at the end; -q silences it; -v lists.
    def on_terminal(args):
        master, slave = pty.openpty()
        r = subprocess.run([TOOL] + args, cwd=WORK, stdout=subprocess.PIPE, stderr=slave, timeout=60)
        os.close(slave)
        seen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        return r, seen.decode("utf-8", errors="replace")

    r, shown = on_terminal(["decompress", arc, "/dev/null"])
    check("progress", r.returncode == 0 and "\rlzx: decompress " in shown and "%" in shown and " MB" in shown,
          repr(shown[:200]))
    last = shown.rsplit("\rlzx: ", 1)[-1]
    check("progress erased", shown.endswith("\r") and last.split("\r")[1].strip() == "", repr(shown[-200:]))
    r, shown = on_terminal(["unpack", arc, "out q", "-q"])
    check("progress -q", r.returncode == 0 and shown == "", repr(shown[:200]))
    r = run(["unpack", arc, "out v", "-v"])
    check("no terminal, no progress", r.returncode == 0 and r.stderr == b"", r.stderr[:200])
    listed = r.stdout.decode("utf-8").splitlines()
    want = [os.path.join("out v", n) for n in files]
    check("unpack -v", listed == want + ["extracted"], listed)
    r = run(["pack", "list.txt", "-v"])
    check("pack -v", r.stdout.decode("utf-8").splitlines()[:4] == ["#" + n for n in files], r.stdout[:300])

    # A read-only current directory, and outputs into it.
    ro = os.path.join(WORK, "ro")
    os.makedirs(ro)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", ro], stderr=subprocess.PIPE)
    if mounted.returncode != 0:
        print("shell_user: no read-only mount (%s); those cases are left out" % mounted.stderr.decode().strip())
    else:
        try:
            shutil.copy(arc, os.path.join(ro, "a.lzx"))
            subprocess.run(["mount", "-o", "remount,ro", ro], check=True)
            before = snapshot(WORK)
            expect("ro cwd unpack", run(["unpack", "a.lzx", os.path.join(WORK, "ro out")], cwd=ro), 0)
            check("ro cwd unpack", installed(os.path.join(WORK, "ro out")), "files differ")
            expect("ro cwd compress", run(["compress", "a.lzx", os.path.join(WORK, "ro.lzx")], cwd=ro), 0)
            expect("ro cwd decompress", run(["decompress", os.path.join(WORK, "ro.lzx"), os.path.join(WORK, "ro.back")],
                                            cwd=ro), 0)
            check("ro cwd round trip", read(os.path.join(WORK, "ro.back")) == read(arc), "bytes differ")
            shutil.rmtree(os.path.join(WORK, "ro out"), ignore_errors=True)
            for f in ("ro.lzx", "ro.back"):
                if os.path.exists(os.path.join(WORK, f)):
                    os.remove(os.path.join(WORK, f))
            check("ro cwd nothing else", snapshot(WORK) == before, changes(before, snapshot(WORK)))
            expect("ro target", run(["unpack", arc, os.path.join(ro, "inst")]), 2,
                   "cannot create [%s/inst]: Read-only file system" % ro)
            expect("ro target directory", run(["unpack", arc, ro]), 2,
                   "cannot write to [%s]: Read-only file system (code 206)" % ro)
            expect("ro output", run(["compress", arc, os.path.join(ro, "c.lzx")]), 2, "Read-only file system")
            check("ro unchanged", sorted(os.listdir(ro)) == ["a.lzx"], os.listdir(ro))
        finally:
            subprocess.run(["umount", ro])

    for f in failures:
        print("  " + f)
    print("shell_user: %d failures" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
