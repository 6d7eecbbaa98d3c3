#!/usr/bin/env python3
"""An independent reader of VFS containers: walks the header, block table, root
table and directories of a container that wizpak vfs built, decompresses every
file, recomputes the digest and the ".ht" side file, and compares."""
import hashlib
import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

wizpak = sys.argv[1]


def read_container(path):
    b = open(path, 'rb').read()
    sig, block_size, block_count, root_count = struct.unpack_from('<4siiI', b, 0)
    md5 = b[28:44]
    (desc_size,) = struct.unpack_from('<i', b, 44)
    (used,) = struct.unpack_from('<i', b, 48 + desc_size)
    table = 52 + desc_size
    links = [struct.unpack_from('<Ii', b, table + 8 * i) for i in range(block_count)]
    roots_at = table + 8 * block_count
    data_at = roots_at + 88 * root_count

    def entry(raw):
        name = raw[:65].split(b'\0')[0].decode('cp1252')
        flags, date, first, size, orig = struct.unpack_from('<IIiii', raw, 68)
        return name, flags, first, size, orig

    def chain_bytes(first, size):
        out, i, seen = b'', first - 1, set()
        while True:
            assert i not in seen and 0 <= i < block_count
            seen.add(i)
            out += b[data_at + i * block_size:data_at + (i + 1) * block_size]
            if links[i][1] == -1:
                break
            i = links[i][1] - 1
        return out[:size], seen

    files, owned = {}, set()

    def walk(path, e):
        name, flags, first, size, orig = e
        data, blocks = chain_bytes(first, size)
        assert not (blocks & owned), path
        owned.update(blocks)
        if flags & 2:
            for k in range(size // 88):
                child = entry(data[88 * k:88 * (k + 1)])
                walk(path + '\\' + child[0], child)
        else:
            if flags & 8:
                raw, pos = b'', 0
                while pos < len(data):
                    (n,) = struct.unpack_from('<I', data, pos)
                    raw += zlib.decompress(data[pos + 4:pos + 4 + n])
                    pos += 4 + n
                assert len(raw) == orig
                data = raw
            files[path] = (data, flags, first, size, orig, name)

    for s in range(root_count):
        e = entry(b[roots_at + 88 * s:roots_at + 88 * (s + 1)])
        if e[0]:
            walk(e[0], e)
    assert used == len(owned), (used, len(owned))
    assert md5 == hashlib.md5(b[44:]).digest()
    return files


def side_file(files):
    records = {}
    for path, (data, flags, first, size, orig, name) in files.items():
        prefix = path[:len(path) - len(name)]
        key = prefix[:-1] + '/' + name if len(prefix) >= 2 and prefix.endswith('\\') else name
        h = 0
        for c in key.encode('cp1252'):
            h = (h * 65599 + c) & 0xFFFFFFFF
        records.setdefault(h, []).append((flags, size, orig, first))
    out = struct.pack('<I', len(records))
    for h in sorted(records):
        flags, size, orig, first = records[h][0]
        out += struct.pack('<IIiiiB', h, flags, size, orig, first, 1 if len(records[h]) == 1 else 0)
    return out


with tempfile.TemporaryDirectory() as work:
    vfs = os.path.join(work, 'game.vfs')
    subprocess.run([wizpak, 'vfs', 'new', vfs, '--block-size', '300', '--blocks', '2000', '--roots', '6'], check=True,
                   capture_output=True)
    rng = random.Random(7)
    expected = {}
    paths = ['readme.txt', 'maps\\desert\\a.dat', 'maps\\desert\\b.dat', 'MAPS\\forest\\tree.dat', 'sound\\x.wav',
             'maps\\desert\\a.dat', 'noext']
    for i, p in enumerate(paths):
        data = (bytes(rng.randrange(256) for _ in range(rng.randrange(1, 3000))) if i % 2 else
                b'compressible text ' * rng.randrange(1, 8000))
        src = os.path.join(work, 'src%d' % i)
        open(src, 'wb').write(data)
        subprocess.run([wizpak, 'vfs', 'add', vfs, p, src], check=True, capture_output=True)
        expected[p.lower()] = data
    files = read_container(vfs)
    got = {k.lower(): v[0] for k, v in files.items()}
    assert got == expected, sorted(got)
    assert open(os.path.join(work, 'game.ht'), 'rb').read() == side_file(files)
    subprocess.run([wizpak, 'vfs', 'check', vfs], check=True, capture_output=True)
print('e2e.vfs_reader: ok')
