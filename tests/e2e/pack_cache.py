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
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call  # noqa: E402

wizpak, demo = sys.argv[1:3]


def build(src, out, *extra):
    call([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', out, '--stub', stub, *extra])
    return open(out, 'rb').read()


def entries(cache):
    return sorted(os.path.join(r, f) for r, _, fs in os.walk(cache) for f in fs if os.sep + 'L' in r)


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
    assert len(entries(cache)) >= 40
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
    # The entries of a.txt and b.bin: named after their data's sizes.
    for size in (960, 300):
        [target] = [p for p in entries(one) if p.endswith(f'-{size}')]
        good = open(target, 'rb').read()
        assert len(good) > 40 and (size == 960 or len(good) < 100), len(good)
        for i in range(len(good)):
            bad = bytearray(good)
            bad[i] ^= 0xFF
            open(target, 'wb').write(bytes(bad))
            assert build(small, sout, '--cache', one) == expected, f'byte {i} of {target} flipped was packed'
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
