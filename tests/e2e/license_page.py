#!/usr/bin/env python3
"""The licence page of the "install-license" page set, walked in the headless
wizard: Next stays disabled until the check box is ticked, the licence
written on Linux (line feeds alone) shows its lines, and a setup whose page
set shows a licence but whose script packs none does not build."""
import json
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call, run_checked  # noqa: E402

wizpak, run, demo = sys.argv[1:4]


def control(state, name):
    return next(c for c in state['controls'] if c['name'] == name)


with tempfile.TemporaryDirectory() as work:
    src = os.path.join(work, 'src')
    shutil.copytree(demo, src)
    open(os.path.join(src, 'eula.txt'), 'wb').write(b'Demo Game licence\n\n1. You may play it.\n')
    script = open(os.path.join(src, 'setup.wps'), encoding='utf-8').read()
    script = script.replace('pages install-changelog\n', 'pages install-license\nlicense "eula.txt"\n')
    assert 'license "eula.txt"' in script
    open(os.path.join(src, 'setup.wps'), 'w', encoding='utf-8').write(script)
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', setup, '--stub', stub])

    root = os.path.join(work, 'm')
    os.makedirs(root)
    open(os.path.join(root, 'machine.ini'), 'w').write(
        '[drives]\nC=fixed,100000000\n[wizard]\n1=next\n2=next\n3=accept\n4=accept\n5=accept\n6=next\n'
        '7=back\n8=next\n9=next\n10=next\n11=cancel\n')
    env = dict(os.environ, WIZPAK_HOST_ROOT=root, WIZPAK_UI_DUMP=os.path.join(root, 'dump.jsonl'))
    out = call([run, setup], env).decode('utf-8')
    pages = [json.loads(line) for line in open(env['WIZPAK_UI_DUMP'], encoding='utf-8')]
    assert [(p['action'], p['type']) for p in pages] == [
        ('start', 'welcome'), ('next', 'license'), ('next', 'license'), ('accept', 'license'), ('accept', 'license'),
        ('accept', 'license'), ('next', 'installdir'), ('back', 'license'), ('next', 'installdir'),
        ('next', 'patch'), ('next', 'finish')], [(p['action'], p['type']) for p in pages]
    licence = pages[1]
    box = control(licence, 'License_Accept')
    assert box['kind'] == 'tcheckbox' and box['visible'] and not box['checked'], box
    assert box['text'] == 'I accept the terms of the license agreement', box
    assert licence['buttons']['next']['enabled'] is False, licence['buttons']
    assert control(licence, 'LicenseText')['text'] == 'Demo Game licence\r\r1. You may play it.\r'
    assert control(licence, 'LicenseLabel')['text'] == 'License Agreement'
    # Next while it is disabled does nothing; the box ticks, clears, ticks.
    assert 'the button is disabled, nothing happens' in out, out
    assert [control(p, 'License_Accept')['checked'] for p in pages[3:6]] == [True, False, True]
    assert [p['buttons']['next']['enabled'] for p in pages[3:6]] == [True, False, True]
    # Back onto the page keeps the tick, and Next with it.
    assert control(pages[7], 'License_Accept')['checked'] and pages[7]['buttons']['next']['enabled']
    assert os.path.isfile(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'readme.txt'))

    # The page set shows a licence the script does not pack: no setup.
    open(os.path.join(src, 'setup.wps'), 'w', encoding='utf-8').write(script.replace('license "eula.txt"\n', ''))
    r = run_checked([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', os.path.join(work, 'No.exe'), '--stub',
                     stub], code=1)
    assert b'License.txt:35: file "License" is not packed' in r.stderr, r.stderr
    assert not os.path.exists(os.path.join(work, 'No.exe'))
print('e2e.license_page: ok')
