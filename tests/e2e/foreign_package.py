#!/usr/bin/env python3
"""Packages written by another tool that follows the format are read by wizpak,
and packages written by wizpak are read by another reader."""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import zlib

wizpak = sys.argv[1]


def write_package(path, stub, entries):
    """entries: (name, data, group, raw)"""
    out = bytearray(stub)
    records = []
    for name, data, group, raw in entries:
        stored = data if raw else zlib.compress(data, 9)
        crc = zlib.crc32(stored) if stored else 0
        records.append((name.encode('cp1252'), crc, len(out), 0 if raw else len(stored), len(data), group))
        out += stored
    directory = len(out)
    for name, crc, offset, stored_size, orig, group in records:
        out += struct.pack('<H', len(name)) + name + struct.pack('<IIIIH', crc, offset, stored_size, orig, group)
    out += b'ZUPF' + struct.pack('<HHII', 1, len(records), len(stub), directory)
    open(path, 'wb').write(out)


def read_package(path):
    b = open(path, 'rb').read()
    magic, version, count, start, directory = struct.unpack('<4sHHII', b[-16:])
    assert magic == b'ZUPF', magic
    pos = directory
    entries = []
    for _ in range(count):
        (n,) = struct.unpack_from('<H', b, pos)
        name = b[pos + 2:pos + 2 + n].decode('cp1252')
        crc, offset, stored_size, orig, group = struct.unpack_from('<IIIIH', b, pos + 2 + n)
        pos += 20 + n
        size = stored_size if stored_size else orig
        stored = b[offset:offset + size]
        assert (zlib.crc32(stored) if stored else 0) == crc, name
        data = zlib.decompress(stored) if stored_size else stored
        assert len(data) == orig, name
        if stored_size:
            assert stored[:2] == b'\x78\xda', name
        entries.append((name, data, group))
    return start, entries


def directory_digest(path):
    """The directory digest as the format defines it, computed independently:
    SHA-256 over every directory record but the last (the digest's own), the
    last one's name, original size and group, then the 16 trailer bytes."""
    b = open(path, 'rb').read()
    _, _, count, _, directory = struct.unpack('<4sHHII', b[-16:])
    pos = directory
    covered = b''
    for i in range(count):
        (n,) = struct.unpack_from('<H', b, pos)
        record = b[pos:pos + 20 + n]
        if i < count - 1:
            covered += record
        else:
            _, _, _, orig, group = struct.unpack_from('<IIIIH', record, 2 + n)
            covered += record[:2 + n] + struct.pack('<IH', orig, group)
        pos += 20 + n
    return hashlib.sha256(covered + b[-16:]).digest()


def run(*args):
    r = subprocess.run([wizpak, *args], capture_output=True, encoding='latin-1')
    if r.returncode != 0:
        sys.exit(f'wizpak {" ".join(args)} failed ({r.returncode}):\n{r.stdout}{r.stderr}')
    return r.stdout


with tempfile.TemporaryDirectory() as work:
    setup = os.path.join(work, 'Foreign.exe')
    entries = [
        ('SetupInfo', b'\x00' * 25, 0, False),
        ('Caf\xe9.txt', 'Café au lait\r\n'.encode('cp1252') * 40, 1, False),
        ('raw.bin', bytes(range(256)), 1, True),
        ('sub\\deep.txt', b'deep ' * 1000, 1, False),
        ('nothing.txt', b'', 2, True),
    ]
    write_package(setup, b'MZ' + b'\x90' * 4094, entries)
    listing = run('list', setup)
    assert '5 entries, data start 4096' in listing, listing
    run('verify', setup)
    out = os.path.join(work, 'out')
    run('extract', setup, out)
    assert open(os.path.join(out, 'group1', 'Caf\xe9.txt'), 'rb').read() == entries[1][1]
    assert open(os.path.join(out, 'group1', 'raw.bin'), 'rb').read() == bytes(range(256))
    assert open(os.path.join(out, 'group1', 'sub', 'deep.txt'), 'rb').read() == entries[3][1]
    assert open(os.path.join(out, 'group2', 'nothing.txt'), 'rb').read() == b''

    # The other way round: what wizpak packs, this reader reads.
    src = os.path.join(work, 'src')
    os.makedirs(os.path.join(src, 'a'))
    open(os.path.join(src, 'a', 'x.txt'), 'wb').write(b'x' * 72)
    open(os.path.join(src, 'big.txt'), 'wb').write(b'compress me ' * 5000)
    pak = os.path.join(work, 'own.pak')
    run('pack', pak, '--group', '3', src)
    start, got = read_package(pak)
    assert start == 0
    assert sorted((n, g) for n, _, g in got[:-1]) == [('a\\x.txt', 3), ('big.txt', 3)], got
    # wizpak's packages end with the directory digest, which another reader
    # can compute from the format alone.
    assert (got[-1][0], got[-1][2]) == ('DirectoryDigest', 0), got[-1]
    assert got[-1][1] == directory_digest(pak)
    assert dict((n, d) for n, d, _ in got)['big.txt'] == b'compress me ' * 5000
print('e2e.foreign_package: ok')
