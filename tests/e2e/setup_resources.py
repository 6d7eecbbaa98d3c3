#!/usr/bin/env python3
"""The setup's icon and version resource, built on Linux with the real stub,
read back by a PE reader of this test's own: the page set's icon is the
setup's icon group 1 (every image of it), the version resource holds the
script's product name, version and publisher, the sections after the
resource section moved with it, and the setup still reads and installs."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call, machine  # noqa: E402

wizpak, run, stub, demo = sys.argv[1:5]
data = os.path.join(os.path.dirname(os.path.abspath(wizpak)), 'data')


def sections(b):
    pe = struct.unpack_from('<I', b, 0x3C)[0]
    assert b[pe:pe + 4] == b'PE\0\0'
    count, optional_size = struct.unpack_from('<H', b, pe + 6)[0], struct.unpack_from('<H', b, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from('<H', b, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    table = opt + optional_size
    out = []
    for i in range(count):
        name, vsize, va, raw, ptr = struct.unpack_from('<8sIIII', b, table + i * 40)
        out.append((name.rstrip(b'\0').decode(), vsize, va, raw, ptr))
    size_of_image = struct.unpack_from('<I', b, opt + 56)[0]
    directories = [struct.unpack_from('<II', b, dirs + 8 * d) for d in range(16)]
    return out, size_of_image, directories


def resources(b):
    """{(type, name, language): bytes} of the resource tree."""
    secs, _, directories = sections(b)
    rva = directories[2][0]
    sec = next(s for s in secs if s[2] == rva)
    base = sec[4]

    def at_rva(r, n):
        s = next(s for s in secs if s[2] <= r < s[2] + max(s[1], s[3]))
        return b[s[4] + r - s[2]:s[4] + r - s[2] + n]

    def entries(off):
        named, ids = struct.unpack_from('<HH', b, base + off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', b, base + off + 16 + 8 * i)
            if name & 0x80000000:
                n = struct.unpack_from('<H', b, base + (name & 0x7FFFFFFF))[0]
                s = base + (name & 0x7FFFFFFF) + 2
                name = b[s:s + 2 * n].decode('utf-16-le')
            yield name, target

    out = {}
    for t, td in entries(0):
        for n, nd in entries(td & 0x7FFFFFFF):
            for lang, de in entries(nd & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from('<II', b, base + de)
                out[(t, n, lang)] = at_rva(data_rva, size)
    return out


def version_strings(block):
    """The StringFileInfo texts of a VS_VERSIONINFO block."""
    found = {}

    def walk(pos, end):
        while pos + 6 <= end:
            length, value_length, kind = struct.unpack_from('<HHH', block, pos)
            if length == 0:
                break
            key_end = block.index(b'\0\0', pos + 6)
            while (key_end - pos - 6) % 2:
                key_end = block.index(b'\0\0', key_end + 1)
            key = block[pos + 6:key_end].decode('utf-16-le')
            value = (key_end + 2 + 3) // 4 * 4
            if kind == 1 and value_length:
                found[key] = block[value:value + 2 * value_length].decode('utf-16-le').rstrip('\0')
                children = value + 2 * value_length
            else:
                children = value + (value_length if kind == 0 else 0)
            walk((children + 3) // 4 * 4, pos + length)
            pos = (pos + length + 3) // 4 * 4

    length, value_length, _ = struct.unpack_from('<HHH', block, 0)
    assert block[6:36].decode('utf-16-le') == 'VS_VERSION_INFO' and value_length == 52
    fixed = block[40:92]
    assert struct.unpack_from('<I', fixed, 0)[0] == 0xFEEF04BD
    walk(92, length)
    return found, struct.unpack_from('<II', fixed, 8)


def icon_images(ico):
    count = struct.unpack_from('<H', ico, 4)[0]
    return [ico[struct.unpack_from('<I', ico, 6 + 16 * i + 12)[0]:][:struct.unpack_from('<I', ico, 6 + 16 * i + 8)[0]]
            for i in range(count)]


with tempfile.TemporaryDirectory() as work:
    src = os.path.join(work, 'src')
    shutil.copytree(demo, src)
    # An icon of two images beside the script: the setup takes both.
    stock = open(os.path.join(data, 'layout', 'install-changelog', 'icon.ico'), 'rb').read()
    image = icon_images(stock)[0]
    entry = stock[6:22]
    two = struct.pack('<HHH', 0, 1, 2) + entry[:12] + struct.pack('<I', 38) + entry[:12] + \
        struct.pack('<I', 38 + len(image)) + image + image[:-4] + b'\x11\x22\x33\x44'
    os.makedirs(os.path.join(src, 'layout', 'install-changelog'))
    open(os.path.join(src, 'layout', 'install-changelog', 'icon.ico'), 'wb').write(two)
    script = open(os.path.join(src, 'setup.wps'), encoding='utf-8').read().replace('version "1.0"', 'version "2.5.1"')
    open(os.path.join(src, 'setup.wps'), 'w', encoding='utf-8').write(script)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', setup, '--stub', stub])

    b = open(setup, 'rb').read()
    s = open(stub, 'rb').read()
    res, stub_res = resources(b), resources(s)
    icons = sorted(k for k in res if k[0] == 3)
    assert [k[1] for k in icons] == [1, 2], icons
    assert res[icons[0]] == icon_images(two)[0] and res[icons[1]] == icon_images(two)[1]
    group = next(v for k, v in res.items() if k[0] == 14)
    assert struct.unpack_from('<HHH', group, 0) == (0, 1, 2) and len(group) == 6 + 2 * 14
    assert [struct.unpack_from('<H', group, 6 + 14 * i + 12)[0] for i in range(2)] == [1, 2]
    # The manifest the stub had is kept as it was.
    manifests = [k for k in stub_res if k[0] == 24]
    assert manifests and all(res[k] == stub_res[k] for k in manifests), manifests
    texts, (ms, ls) = version_strings(res[(16, 1, 0x409)])
    assert texts['ProductName'] == 'Demo Game' and texts['CompanyName'] == 'Demo Works', texts
    assert texts['ProductVersion'] == '2.5.1' and texts['FileDescription'] == 'Demo Game Setup', texts
    assert texts['OriginalFilename'] == 'DemoSetup.exe', texts
    assert (ms, ls) == (2 << 16 | 5, 1 << 16), (hex(ms), hex(ls))
    # The image's layout holds together: sections follow one another, the
    # image size covers the last, and the package starts where the PE ends.
    secs, size_of_image, directories = sections(b)
    for a, c in zip(secs, secs[1:]):
        assert a[2] + max(a[1], a[3]) <= c[2], (a, c)
        if a[3] and c[3]:
            assert a[4] + a[3] <= c[4], (a, c)
    assert size_of_image >= secs[-1][2] + max(secs[-1][1], secs[-1][3])
    reloc = next(x for x in secs if x[0] == '.reloc')
    assert directories[5][0] == reloc[2], (directories[5], reloc)
    assert b[reloc[4]:reloc[4] + reloc[3]] == s[next(x for x in sections(s)[0] if x[0] == '.reloc')[4]:][:reloc[3]]
    call([wizpak, 'verify', setup])
    env, root = machine(work, 'm')
    call([run, '/S', setup], env)
    assert os.path.isfile(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'readme.txt'))

    # A stub that is no Windows executable is used as it is, with a warning.
    fake = os.path.join(work, 'fake.exe')
    open(fake, 'wb').write(b'MZ' + b'\0' * 1022)
    r = subprocess.run([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', os.path.join(work, 'F.exe'), '--stub',
                        fake], capture_output=True)
    assert r.returncode == 0 and b'is no Windows executable' in r.stdout + r.stderr, r
    # An icon that is none stops the build.
    open(os.path.join(src, 'layout', 'install-changelog', 'icon.ico'), 'wb').write(b'not an icon at all')
    r = subprocess.run([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', os.path.join(work, 'G.exe'), '--stub',
                        stub], capture_output=True)
    assert r.returncode == 1 and b"the page set's icon: not an icon file" in r.stderr, r
    assert not os.path.exists(os.path.join(work, 'G.exe'))
print('setup_resources: ok')
