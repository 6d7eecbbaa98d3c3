#!/usr/bin/env python3
"""Symbolic links planted where the program writes never lead a write or a
delete out of the folder: `wizpak extract` into a folder with a linked
subfolder, an install into a folder with a linked subfolder, and an uninstall
whose installed file was replaced by a link. Each refuses the linked path
(exit 1 for extract, 6 "completed with errors" for the runs), names it, and
leaves the file outside untouched."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call_text as call  # noqa: E402

wizpak, run, demo = sys.argv[1:4]


with tempfile.TemporaryDirectory() as work:
    outside = os.path.join(work, 'outside')
    os.makedirs(outside)
    victim = os.path.join(outside, 'changes.txt')
    open(victim, 'w').write('keep me')

    # Extraction: group1\docs is a link to the outside folder.
    pkg = os.path.join(work, 'demo.pak')
    call([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', pkg, '--package-only'])
    target = os.path.join(work, 'out')
    os.makedirs(os.path.join(target, 'group1'))
    os.symlink(outside, os.path.join(target, 'group1', 'docs'))
    err = call([wizpak, 'extract', pkg, target], code=1)
    assert 'docs' in err and 'passes through a link (681)' in err, err
    assert open(victim).read() == 'keep me'
    assert open(os.path.join(target, 'group1', 'readme.txt'), 'rb').read() == \
        open(os.path.join(demo, 'files', 'readme.txt'), 'rb').read()

    # An install whose folder holds a linked "docs": the run ends "completed
    # with errors", what it wrote is undone and the file outside stays.
    machine = os.path.join(work, 'machine')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', setup, '--stub', stub], env)
    inst = os.path.join(machine, 'drives', 'c', 'Program Files', 'Demo Game')
    os.makedirs(inst)
    os.symlink(outside, os.path.join(inst, 'docs'))
    call([run, setup], env, code=6)
    assert open(victim).read() == 'keep me'
    assert sorted(os.listdir(inst)) == ['docs'], os.listdir(inst)
    os.remove(os.path.join(inst, 'docs'))

    # A clean install, then an installed file replaced by a link to the file
    # outside: the uninstaller refuses to delete through it and says so.
    call([run, setup], env)
    readme = os.path.join(inst, 'readme.txt')
    os.remove(readme)
    os.symlink(victim, readme)
    call([run, os.path.join(inst, 'Demo_Uninstall.exe')], env, code=6)
    assert open(victim).read() == 'keep me'
    assert os.path.islink(readme)
    # The error log names the refused file and the reason.
    found = []
    for root, _, files in os.walk(os.path.join(machine, 'drives')):
        for f in files:
            if f.lower().endswith('.txt') and 'errorlog' in f.lower().replace('_', '').replace(' ', ''):
                found.append(open(os.path.join(root, f), 'rb').read().decode('latin-1'))
    assert any('Uninstallation' in t and 'readme.txt: the path passes through a link (681)' in t for t in found), found
print('e2e.planted_links: ok')
