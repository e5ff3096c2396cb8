#!/usr/bin/env python3
"""Times whole processes, alternating them:

  bench/time-runs.py OPS ROUNDS

OPS holds one operation per line, `name|output|command` (the command split as a shell would,
with `> FILE` for standard output; without it, standard output goes to /dev/null). Every round
runs every operation once, in the order given (A B C, A B C, ...), so that a change in the
machine's load falls on all of them alike; the output (a file or a directory) is removed before
each run, outside the timing. Wall time comes from the monotonic clock around the process, CPU
time (user and system) from wait4, both at microsecond resolution.

Prints one line per operation, tab-separated: name, then the median wall, user, system and CPU
milliseconds, and the lowest and highest wall milliseconds."""
import os
import shlex
import shutil
import statistics
import sys
import time


def parse(line):
    name, out, cmd = line.rstrip("\n").split("|", 2)
    argv, to = shlex.split(cmd), None
    if ">" in argv:
        i = argv.index(">")
        argv, to = argv[:i], argv[i + 1]
    return name, out, argv, to


def run_once(out, argv, to):
    if out and os.path.isdir(out):
        shutil.rmtree(out)
    elif out and os.path.lexists(out):
        os.unlink(out)
    fd = os.open(to or os.devnull, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        start = time.perf_counter()
        pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, fd, 1)])
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    finally:
        os.close(fd)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("time-runs: %s failed" % " ".join(argv))
    return wall * 1e3, usage.ru_utime * 1e3, usage.ru_stime * 1e3


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    ops = [parse(line) for line in open(sys.argv[1]) if line.strip()]
    rounds = int(sys.argv[2])
    runs = {op[0]: [] for op in ops}
    for _ in range(rounds):
        for name, out, argv, to in ops:
            runs[name].append(run_once(out, argv, to))
    for name, _, _, _ in ops:
        r = runs[name]
        med = lambda f: statistics.median(f(x) for x in r)
        walls = [x[0] for x in r]
        print("\t".join([name] + ["%.2f" % v for v in (med(lambda x: x[0]), med(lambda x: x[1]), med(lambda x: x[2]),
                                                         med(lambda x: x[1] + x[2]), min(walls), max(walls))]))


if __name__ == "__main__":
    main()
