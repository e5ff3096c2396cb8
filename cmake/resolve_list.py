#!/usr/bin/env python3
"""Writes the list file that lzx reads for one of the build's payload lists.

    resolve_list.py LIST PROGRAMS OUT

The payload's list files name their archive on the first line (only the file
name is used: lzx runs in OUT's folder and writes it there) and their base
directory on the second, relative to the list file's folder; "@PROGRAMS@" in an
entry line stands for PROGRAMS, the folder of the sample programs the build
makes. OUT has the base directory as an absolute path and PROGRAMS filled in.
"""
import os
import sys


def main():
    list_path, programs, out = sys.argv[1:4]
    with open(list_path, 'r', newline='', encoding='utf-8') as f:
        lines = [l for l in f.read().replace('\r', '\n').split('\n') if l]
    if len(lines) < 2:
        sys.exit('%s: needs an archive name and a base directory' % list_path)
    base = os.path.join(os.path.dirname(os.path.abspath(list_path)), lines[1])
    if not base.endswith('/'):
        base += '/'
    archive = os.path.basename(lines[0].replace('\\', '/'))
    entries = [l.replace('@PROGRAMS@', programs) for l in lines[2:]]
    with open(out, 'w', newline='\n', encoding='utf-8') as f:
        f.write('\n'.join([archive, base] + entries) + '\n')


if __name__ == '__main__':
    main()
