#!/usr/bin/env python3
"""wizpak build on the demo script; the setup is then read back by a reader of
its own (package, "SetupInfo", "CompiledLines") and by wizpak dump and verify."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

wizpak, demo = sys.argv[1], sys.argv[2]


def run(*args, ok=True):
    r = subprocess.run([wizpak, *args], capture_output=True, encoding='latin-1')
    if ok and r.returncode != 0:
        sys.exit(f'wizpak {" ".join(args)} failed ({r.returncode}):\n{r.stdout}{r.stderr}')
    return r


def entries(path):
    b = open(path, 'rb').read()
    magic, _, count, start, directory = struct.unpack('<4sHHII', b[-16:])
    assert magic == b'ZUPF'
    out, pos = {}, directory
    for _ in range(count):
        (n,) = struct.unpack_from('<H', b, pos)
        name = b[pos + 2:pos + 2 + n].decode('cp1252')
        crc, offset, stored_size, orig, group = struct.unpack_from('<IIIIH', b, pos + 2 + n)
        pos += 20 + n
        stored = b[offset:offset + (stored_size or orig)]
        assert (zlib.crc32(stored) if stored else 0) == crc, name
        data = zlib.decompress(stored) if stored_size else stored
        assert len(data) == orig
        out[(group, name)] = data
    return start, out


class Cursor:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        v = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += struct.calcsize(fmt)
        return v[0]

    def string(self):
        n = self.take('<H')
        s = self.data[self.pos:self.pos + n].decode('cp1252')
        assert len(s) == n
        self.pos += n
        return s


with tempfile.TemporaryDirectory() as work:
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 998)
    setup = os.path.join(work, 'DemoSetup.exe')
    run('build', os.path.join(demo, 'setup.wps'), '-o', setup, '--stub', stub)
    start, e = entries(setup)
    assert start == 1000

    c = Cursor(e[(0, 'SetupInfo')])
    info = [c.string() for _ in range(7)] + [c.take('<B'), c.string(), c.string(), c.string(), c.string(),
                                            c.take('<B'), c.take('<B')]
    assert c.pos == len(c.data)
    assert info == ['Demo Game', 'Demo Game', 'DemoSetup.exe', 'Demo_Uninstall.exe', 'Demo_',
                    '$PROGRAMFILES\\Demo Game', 'changes.rtf', 0, 'SOFTWARE\\Demo Game', 'InstallPath',
                    'install-changelog', 'uninstall', 0, 1], info

    c = Cursor(e[(0, 'CompiledLines')])
    lines = []
    for _ in range(c.take('<H')):
        command, row, count = c.take('<i'), c.take('<i'), c.take('<i')
        lines.append((command, row, [c.string() for _ in range(count)]))
    assert c.pos == len(c.data)
    script = open(os.path.join(demo, 'setup.wps'), encoding='cp1252').read().splitlines()
    assert len(lines) == len(script), (len(lines), len(script))
    runnable = [(i, l) for i, l in enumerate(lines) if l[0] != -1]
    for i, (command, row, params) in enumerate(lines):
        assert row == (i if command != -1 else -1), (i, row)
    numbers = {'language': 18, 'uninstalllanguage': 23, 'message': 15, 'file': 7, 'createdirectory': 13,
               'createshortcut': 14, 'writeregstr': 9}
    for i, (command, _, params) in runnable:
        words = script[i].split()
        if words[0].startswith(':'):
            assert command == 0 and params == [words[0][1:]]
        else:
            assert command == numbers[words[0]], (i, command, words)
    file_line = next(l for l in lines if l[0] == 7)
    assert file_line[2] == ['files\\', '1'], file_line
    for name in ('LANGUAGE-install\\english', 'UNINSTALL_LANGUAGE-uninstall\\english', 'Pages.txt', 'Side.jpg',
                 'UNINSTALL_Pages.txt', 'UNINSTALL_ICON.ICO'):
        assert (0, name) in e, name
    assert e[(0, 'LANGUAGE-install\\english')][:2] == b'\xff\xfe'
    # The change log under the name the setup information holds; the
    # product's values for its Uninstall key.
    assert e[(0, 'changes.rtf')] == open(os.path.join(demo, 'changes.rtf'), 'rb').read()
    assert e[(0, 'ProductInfo')] == (b'DisplayVersion=1.0\r\nPublisher=Demo Works\r\n'
                                     b'URLInfoAbout=https://example.com/demo-game\r\n'), e[(0, 'ProductInfo')]
    for root, _, files in os.walk(os.path.join(demo, 'files')):
        for f in files:
            rel = os.path.relpath(os.path.join(root, f), os.path.join(demo, 'files')).replace('/', '\\')
            assert e[(1, rel)] == open(os.path.join(root, f), 'rb').read(), rel

    dump = run('dump', setup).stdout
    assert 'SetupName: "Demo Game"' in dump and 'MakeUninstaller: 1' in dump, dump
    assert 'file "files\\" "1"' in dump, dump
    assert dump.endswith('ProductInfo:\n  DisplayVersion: "1.0"\n  Publisher: "Demo Works"\n'
                         '  URLInfoAbout: "https://example.com/demo-game"\n'), dump
    # With -v every file is named, and the last progress line has the final count.
    verbose = run('build', os.path.join(demo, 'setup.wps'), '-o', setup, '--stub', stub, '-v')
    progress = [l for l in (verbose.stdout + verbose.stderr).splitlines() if l.startswith('packed ') and ' files, ' in l]
    # (every entry but the directory digest, which the packer adds)
    assert progress and progress[-1].startswith(f'packed {len(e) - 1} files, '), (progress, len(e))
    run('verify', setup)

    # Branding without copying the data folder: the demo with its own side
    # picture and English texts beside the script, and a layout written on
    # Linux (line feeds alone), which is packed with CR LF.
    data = os.path.join(os.path.dirname(os.path.abspath(wizpak)), 'data')
    brand = os.path.join(work, 'brand')
    shutil.copytree(demo, brand)
    os.makedirs(os.path.join(brand, 'layout', 'install-changelog'))
    os.makedirs(os.path.join(brand, 'languages', 'install'))
    side = open(os.path.join(data, 'layout', 'install-changelog', 'Side.jpg'), 'rb').read() + b'\0brand'
    open(os.path.join(brand, 'layout', 'install-changelog', 'Side.jpg'), 'wb').write(side)
    english = open(os.path.join(data, 'languages', 'install', 'english.wri'), 'rb').read().decode('utf-16')
    english = english.replace('\r\n1 ', '\r\n1 Brand: ', 1)
    open(os.path.join(brand, 'languages', 'install', 'english.wri'), 'wb').write(english.encode('utf-16'))
    layout = open(os.path.join(data, 'layout', 'install-changelog', 'Layout.txt'), 'rb').read()
    open(os.path.join(brand, 'layout', 'install-changelog', 'Layout.txt'), 'wb').write(layout.replace(b'\r\n', b'\n'))
    branded = os.path.join(work, 'Branded.exe')
    run('build', os.path.join(brand, 'setup.wps'), '-o', branded, '--stub', stub)
    _, b = entries(branded)
    assert b[(0, 'Side.jpg')] == side
    assert b[(0, 'LANGUAGE-install\\english')].decode('utf-16').count('\r\n1 Brand: ') == 1
    assert b[(0, 'Layout.txt')] == layout and b'\r\n' in layout
    assert b[(0, 'Pages.txt')] == e[(0, 'Pages.txt')]

    # A script with a fault writes nothing and names the line.
    bad = os.path.join(work, 'bad.wps')
    open(bad, 'w').write('name x\ngoto nowhere\n')
    r = run('build', bad, '-o', os.path.join(work, 'Bad.exe'), '--stub', stub, ok=False)
    assert r.returncode == 1 and 'bad.wps:2: Label not found - nowhere' in r.stderr, r.stderr
    assert not os.path.exists(os.path.join(work, 'Bad.exe'))
print('e2e.build_demo: ok')
