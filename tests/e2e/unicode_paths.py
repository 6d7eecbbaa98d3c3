#!/usr/bin/env python3
"""Names and folders of any language: payload files named in Windows-1252
letters and one in letters Windows-1252 lacks install under exactly those
names into a French, a Russian and a 300-character folder; the registry
value, the desktop shortcut and the Uninstall key name the folder; the
uninstaller (its log keeps the folder in marked UTF-8) removes everything.
The builder refuses a link to nothing and an unknown path variable, each
with its file and line."""
import json
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call_text, key_values, log_lines, machine, registry, run_checked  # noqa: E402

wizpak, run, demo = sys.argv[1:4]
NAMES = {'café.txt': b'cafe\r\n', 'Müller.txt': b'mueller\r\n', os.path.join('Ñandú', 'año.txt'): b'ano\r\n',
         '日本語.txt': b'nihongo\r\n'}
EXTRA = ('createshortcut "$DESKTOP\\Démo.lnk" "$INSTDIR\\café.txt" ""\n'
         'writeregstr HKLM "SOFTWARE\\Demo Game" "Dossier" "$INSTDIR\\Ñandú"\n')
LONG = 'C:\\' + '\\'.join(['Très-long-dossier-%02d-' % i + 'x' * 24 for i in range(8)])
assert len(LONG) > 300


def lnk_target(data):
    """The target of a shell link: its UTF-16 base path when it has one."""
    info = 0x4C + (2 + int.from_bytes(data[0x4C:0x4E], 'little') if data[0x14] & 1 else 0)
    header = int.from_bytes(data[info + 4:info + 8], 'little')
    if header >= 0x24:
        at = info + int.from_bytes(data[info + 0x1C:info + 0x20], 'little')
        end = at
        while data[end:end + 2] != b'\0\0':
            end += 2
        return data[at:end].decode('utf-16-le')
    at = info + int.from_bytes(data[info + 0x10:info + 0x14], 'little')
    return data[at:data.index(b'\0', at)].decode('cp1252')


def add_payload(src):
    for name, data in NAMES.items():
        path = os.path.join(src, 'files', name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, 'wb').write(data)


with tempfile.TemporaryDirectory() as work:
    # The demo with the payload above: built by copying the demo first.
    seed = os.path.join(work, 'seed')
    import shutil
    shutil.copytree(demo, seed)
    add_payload(seed)
    setup = build_demo(wizpak, seed, work, 'unicode', EXTRA)

    for number, folder in enumerate(['C:\\Jeux\\Démo', 'C:\\Игры\\Демо', LONG]):
        env, root = machine(work, 'machine-%d' % number)
        call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=' + folder], env)
        inst = os.path.join(root, 'drives', 'c', *folder[3:].split('\\'))
        for name, data in NAMES.items():
            assert open(os.path.join(inst, name), 'rb').read() == data, (folder, name)
        assert 'End: exit code 0' in log_lines(root, 'setup.log')
        reg = registry(root)
        values = key_values(reg, '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo Game]')
        escaped = folder.replace('\\', '\\\\')
        assert values['"InstallPath"'] == '"%s"' % escaped, values
        assert values['"Dossier"'] == '"%s\\\\Ñandú"' % escaped, values
        uninstall = key_values(reg, '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall'
                                    '\\Demo Game]')
        assert uninstall['"InstallLocation"'] == '"%s"' % escaped, uninstall
        link = os.path.join(root, 'drives', 'c', 'Documents and Settings', 'User', 'Desktop', 'Démo.lnk')
        assert lnk_target(open(link, 'rb').read()) == folder + '\\café.txt', lnk_target(open(link, 'rb').read())

        # The uninstaller finds the folder in its log and removes it all.
        call_text([run, folder + '\\Demo_Uninstall.exe', '/S', '/LOG=C:\\uninstall.log'], env)
        assert sorted(os.listdir(inst)) == ['Demo_Uninstall.exe'], os.listdir(inst)
        assert not os.path.exists(link)
        assert 'Dossier' not in registry(root) and 'Uninstall\\Demo Game]' not in registry(root)

    # The wizard: a folder with a Cyrillic name picked in the tree is the
    # install directory, shown whole in the box (the UI dump) and installed to.
    env, root = machine(work, 'wizard', 'C=fixed,100000000\n[wizard]\n1=next\n2=next\n3=tree C:\\Игры\\\n4=next\n')
    os.makedirs(os.path.join(root, 'drives', 'c', 'Игры'))
    env['WIZPAK_UI_DUMP'] = os.path.join(root, 'dump.jsonl')
    call_text([run, setup], env)
    pages = [json.loads(line) for line in open(env['WIZPAK_UI_DUMP'], encoding='utf-8')]
    picked = [p for p in pages if p['action'].startswith('tree ')]
    assert picked and picked[0]['action'] == 'tree C:\\Игры\\', [p['action'] for p in pages]
    box = [c for c in picked[0]['controls'] if c['name'] == 'InstallDir_Edit']
    assert box and box[0]['text'] == 'C:\\Игры', box
    assert pages[-1]['type'] == 'finish', [p['type'] for p in pages]
    for name, data in NAMES.items():
        assert open(os.path.join(root, 'drives', 'c', 'Игры', name), 'rb').read() == data, name

    # The builder says what it cannot pack, with the line that packs it.
    broken = os.path.join(work, 'broken')
    shutil.copytree(demo, broken)
    os.symlink(os.path.join(broken, 'nowhere.txt'), os.path.join(broken, 'files', 'dangling.txt'))
    r = run_checked([wizpak, 'build', os.path.join(broken, 'setup.wps'), '-o', os.path.join(work, 'b.exe'),
                     '--stub', os.path.join(work, 'stub.exe')], code=1)
    err = r.stderr.decode()
    line = open(os.path.join(broken, 'setup.wps')).read().split('\n').index('file "files\\"') + 1
    assert 'setup.wps:%d: ' % line in err and 'dangling.txt is a link to nothing' in err, err
    assert not os.path.exists(os.path.join(work, 'b.exe'))
    os.remove(os.path.join(broken, 'files', 'dangling.txt'))
    with open(os.path.join(broken, 'setup.wps'), 'a') as f:
        f.write('createshortcut "$DESKTP\\Demo.lnk" "$INSTDIR\\readme.txt" ""\n')
    r = run_checked([wizpak, 'build', os.path.join(broken, 'setup.wps'), '-o', os.path.join(work, 'b.exe'),
                     '--stub', os.path.join(work, 'stub.exe')], code=1)
    assert 'unknown variable $DESKTP' in r.stderr.decode(), r.stderr.decode()
    # A good build says how many of its files the script packed.
    out = call_text([wizpak, 'build', os.path.join(seed, 'setup.wps'), '-o', os.path.join(work, 'c.exe'), '--stub',
                     os.path.join(work, 'stub.exe'), '-v'])
    assert '(11 files of the script)' in out and 'packing 11 files of the script' in out, out
