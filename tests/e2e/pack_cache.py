#!/usr/bin/env python3
"""The compression cache: a setup built with it is byte for byte the one built
without it, cold or warm, at any thread count and after a file changed; a
damaged cache entry (every byte of one flipped in turn) is never packed; two
builds sharing the cache at once both make correct setups; the cache keeps to
its limit."""
import os
import shutil
import subprocess
import sys
import struct
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call  # noqa: E402

wizpak, demo = sys.argv[1:3]


def build(src, out, *extra):
    call([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', out, '--stub', stub, *extra])
    return open(out, 'rb').read()


def entries(cache):
    """Every file the cache keeps its entries in."""
    return sorted(os.path.join(r, f) for r, _, fs in os.walk(cache) for f in fs if os.sep + 'L' in r)


def packs(cache):
    return [p for p in entries(cache) if os.path.basename(p).startswith('pack-') and not p.endswith('.tmp')]


def directory(pack):
    """A pack's entries as (data size, offset, length), and where its directory starts."""
    data = open(pack, 'rb').read()
    assert data[:8] == b'wzpcpack' and data[-8:] == b'wzpcdir1', pack
    at, count = struct.unpack_from('<QI', data, len(data) - 20)
    assert at + 24 * count == len(data) - 20
    records = [struct.unpack_from('<IIIQI', data, at + 24 * i) for i in range(count)]
    return [(r[0], r[3], r[4]) for r in records], at


with tempfile.TemporaryDirectory() as work:
    src = os.path.join(work, 'src')
    shutil.copytree(demo, src)
    for i in range(40):
        open(os.path.join(src, 'files', f'part{i}.dat'), 'wb').write(bytes(range(256)) * (50 + i) + os.urandom(64))
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    cache = os.path.join(work, 'cache')
    out = os.path.join(work, 'DemoSetup.exe')

    plain = build(src, out, '--no-cache')
    assert build(src, out, '--cache', cache) == plain  # cold: fills the cache
    # One pack for the build, its entries in it, nothing else beside it.
    assert len(packs(cache)) == 1 and entries(cache) == packs(cache), entries(cache)
    assert len(directory(packs(cache)[0])[0]) >= 40
    warm = subprocess.run([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', out, '--stub', stub, '--cache',
                           cache, '-v'], capture_output=True, text=True)
    assert warm.returncode == 0 and open(out, 'rb').read() == plain
    assert ' compressed' in warm.stderr and ', 0 compressed' in warm.stderr.replace(' entries reused', ''), warm.stderr
    assert build(src, out, '--cache', cache, '--threads', '1') == plain
    # One file changed: the same bytes as a build without the cache.
    open(os.path.join(src, 'files', 'part7.dat'), 'ab').write(b'more')
    changed = build(src, out, '--no-cache')
    assert changed != plain and build(src, out, '--cache', cache) == changed

    # A small case: one entry whose cache file has each byte flipped in turn.
    small = os.path.join(work, 'small')
    os.makedirs(os.path.join(small, 'files'))
    open(os.path.join(small, 'files', 'a.txt'), 'wb').write(b'hello hello hello hello ' * 40)
    # And data that does not compress, kept as a mark without its bytes.
    open(os.path.join(small, 'files', 'b.bin'), 'wb').write(os.urandom(300))
    open(os.path.join(small, 'setup.wps'), 'w').write(
        'name "Small"\noutfile "Small.exe"\ninstalldir "$PROGRAMFILES\\Small"\npages install\n'
        'language install\\english\nfile "files\\"\n')
    one = os.path.join(work, 'one')
    sout = os.path.join(work, 'Small.exe')
    expected = build(small, sout, '--no-cache')
    assert build(small, sout, '--cache', one) == expected
    # Each byte of the entries of a.txt and b.bin flipped in turn (their
    # records, their directory lines), and of the pack's head and foot. Only
    # the damaged pack is beside each build: the pack a build writes after a
    # miss is taken away again.
    [target] = packs(one)
    good = open(target, 'rb').read()
    records, at = directory(target)
    ranges = [range(0, 16), range(len(good) - 20, len(good))]
    for n, (size, offset, length) in enumerate(records):
        if size in (960, 300):
            assert length > 40 and (size == 960 or length < 100), length
            ranges += [range(offset, offset + length), range(at + 24 * n, at + 24 * n + 24)]
    assert len(ranges) == 6, records
    for i in (i for r in ranges for i in r):
        bad = bytearray(good)
        bad[i] ^= 0xFF
        open(target, 'wb').write(bytes(bad))
        assert build(small, sout, '--cache', one) == expected, f'byte {i} of {target} flipped was packed'
        for p in packs(one):
            if p != target:
                os.remove(p)
    open(target, 'wb').write(good)
    # Both ways of finding it: the unchanged file (the index), then a touched one (its data).
    os.utime(os.path.join(small, 'files', 'a.txt'), None)
    assert build(small, sout, '--cache', one) == expected

    # Two builds at once on one cache, from cold.
    shared = os.path.join(work, 'shared')
    runs = [subprocess.Popen([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', os.path.join(work, f'c{n}.exe'),
                              '--stub', stub, '--cache', shared]) for n in range(2)]
    assert [r.wait() for r in runs] == [0, 0]
    for n in range(2):
        assert open(os.path.join(work, f'c{n}.exe'), 'rb').read() == changed
    assert build(src, out, '--cache', shared) == changed

    # The limit: 1 MB kept at most, oldest out first.
    build(src, out, '--cache', cache, '--cache-limit', '1', '--level', '3')
    assert sum(os.path.getsize(p) for p in entries(cache)) <= 1 << 20
print('e2e.pack_cache: ok')
