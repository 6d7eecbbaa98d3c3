#!/usr/bin/env python3
"""Corruption sweep: every single-byte change (the byte inverted) inside the
entry data, the directory and the trailer of a built demo setup, checked with
`wizpak verify` (the start-up check). Prints how many changes of each region
verification refuses, and lists the kinds of directory bytes it cannot see.

usage: fuzz/corruption_sweep.py [WIZPAK] [SCRIPT]
"""
import os
import struct
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
wizpak = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'build', 'host', 'bin', 'wizpak')
script = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, 'examples', 'demo', 'setup.wps')


def regions(data):
    """(start, end, name) of every field the reader uses, and the directory records."""
    magic, version, count, data_start, dir_offset = struct.unpack_from('<4sHHII', data, len(data) - 16)
    out = []
    pos = dir_offset
    first = len(data)
    for i in range(count):
        (n,) = struct.unpack_from('<H', data, pos)
        out.append((pos, pos + 2, 'name length'))
        out.append((pos + 2, pos + 2 + n, 'name'))
        pos += 2 + n
        _, offset, stored, orig, _ = struct.unpack_from('<IIIIH', data, pos)
        out += [(pos, pos + 4, 'checksum'), (pos + 4, pos + 8, 'offset'), (pos + 8, pos + 12, 'stored size'),
                (pos + 12, pos + 16, 'original size'), (pos + 16, pos + 18, 'group')]
        pos += 18
        first = min(first, offset)
    t = len(data) - 16
    out += [(first, dir_offset, 'entry data'), (t, t + 4, 'trailer magic'), (t + 4, t + 6, 'trailer version'),
            (t + 6, t + 8, 'trailer count'), (t + 8, t + 12, 'trailer data start'),
            (t + 12, t + 16, 'trailer directory offset')]
    return out


def main():
    with tempfile.TemporaryDirectory() as work:
        pkg = os.path.join(work, 'DemoSetup.exe')
        subprocess.run([wizpak, 'build', script, '-o', pkg, '--package-only'], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        data = open(pkg, 'rb').read()
        subprocess.run([wizpak, 'verify', pkg], check=True, stdout=subprocess.DEVNULL)

        def refused(k):
            path = os.path.join(work, f'c{k}.exe')
            b = bytearray(data)
            b[k] ^= 0xFF
            open(path, 'wb').write(b)
            r = subprocess.run([wizpak, 'verify', path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.remove(path)
            return r.returncode != 0

        totals = {}
        for start, end, name in regions(data):
            for k in range(start, end):
                totals.setdefault(name, []).append(k)
        with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            print(f'{"region":<26} {"bytes":>7} {"refused":>8} {"passed":>7}')
            for name, offsets in totals.items():
                results = list(pool.map(refused, offsets))
                print(f'{name:<26} {len(offsets):>7} {sum(results):>8} {len(results) - sum(results):>7}')


if __name__ == '__main__':
    main()
