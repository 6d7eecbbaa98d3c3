#!/usr/bin/env python3
"""A patch with two "vfsupdate" lines (the first with close flag "0") applied
by wizpak-run to a container in the emulated install directory; the container
then passes wizpak vfs check and holds the new bytes. A missing container
stops the run with the failure text."""
import os
import shutil
import sys
import tempfile

from e2e_support import call

wizpak, run, fixture = sys.argv[1:4]

with tempfile.TemporaryDirectory() as work:
    machine = os.path.join(work, 'machine')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    game = os.path.join(machine, 'drives', 'c', 'Games', 'Demo')
    os.makedirs(game)
    container = os.path.join(game, 'data.vfs')
    call([wizpak, 'vfs', 'new', container, '--block-size', '1024', '--blocks', '256', '--roots', '16'])
    old = os.path.join(work, 'old.txt')
    open(old, 'wb').write(b'the original readme')
    call([wizpak, 'vfs', 'add', container, 'readme.txt', old])
    call([wizpak, 'vfs', 'add', container, 'maps\\desert\\a.dat', old])

    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 510)
    patch = os.path.join(work, 'VfsPatch.exe')
    call([wizpak, 'build', os.path.join(fixture, 'setup.wps'), '-o', patch, '--stub', stub])
    out = call([run, patch], env).decode('utf-8', errors='replace')
    assert '[Status] Loading data.vfs' in out, out
    # Both lines name data.vfs, so they share one group: the first line applies
    # all three files (a.dat from the second folder), the second finds its
    # group empty. The container the first left open is saved at the run's end.
    assert '[Status] Processing data.vfs: 0 of 3 files' in out, out
    assert '[Status] Processing data.vfs: 2 of 3 files' in out, out
    assert out.count('[Status] Writing data.vfs`s Header') == 1, out

    call([wizpak, 'vfs', 'check', container])
    expected = open(os.path.join(fixture, 'patch2', 'maps', 'desert', 'a.dat'), 'rb').read()
    assert call([wizpak, 'vfs', 'cat', container, 'maps\\desert\\a.dat']) == expected
    assert call([wizpak, 'vfs', 'cat', container, 'one.txt']) == open(os.path.join(fixture, 'patch1', 'one.txt'), 'rb').read()
    assert call([wizpak, 'vfs', 'cat', container, 'two.txt']) == open(os.path.join(fixture, 'patch2', 'two.txt'), 'rb').read()
    assert call([wizpak, 'vfs', 'cat', container, 'readme.txt']) == b'the original readme'
    listing = call([wizpak, 'vfs', 'ls', container]).decode()
    assert 'maps\\desert\\a.dat' in listing and listing.count('maps\\desert\\a.dat') == 1, listing
    assert os.path.isfile(os.path.join(game, 'data.ht'))

    # A damaged container (a changed byte, which its digest catches): the box
    # says so, the failure text, and the container is left as it was.
    data = bytearray(open(container, 'rb').read())
    data[-1] ^= 0xFF
    open(container, 'wb').write(data)
    out = call([run, patch], env).decode('utf-8', errors='replace')
    assert '[VFS Error] Error: <data.vfs> is damaged, nothing was changed: the digest does not match' in out, out
    assert '[Finish] Setup failed to install.' in out, out
    assert open(container, 'rb').read() == bytes(data)

    # Without the container: the "VFS Error" box, the failure text, the run stops.
    os.remove(container)
    out = call([run, patch], env).decode('utf-8', errors='replace')
    assert '[VFS Error] Error: Unable to find <data.vfs>' in out, out
    assert '[Finish] Setup failed to install.' in out, out
print('e2e.vfs_patch: ok')
