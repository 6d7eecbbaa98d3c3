#!/usr/bin/env python3
"""The demo setup on a fresh emulated machine: wizpak-run installs it (files,
registry values, shortcut, log, uninstaller); wizpak-run on the uninstaller
removes everything the log lists."""
import os
import re
import subprocess
import sys
import tempfile

wizpak, run, demo = sys.argv[1:4]


def call(args, env, code=0):
    r = subprocess.run(args, capture_output=True, encoding='utf-8', errors='replace', env=env)
    if r.returncode != code:
        sys.exit(f'{" ".join(args)} exited {r.returncode}, expected {code}:\n{r.stdout}{r.stderr}')
    return r.stdout


with tempfile.TemporaryDirectory() as work:
    machine = os.path.join(work, 'machine')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', setup, '--stub', stub], env)

    out = call([run, setup], env)
    # Every entry verified (the finaliser is among them when a Windows build
    # has made one).
    assert re.search(r'\[Verifying Contents\] Status: (29|30) out of \1 files verifyed', out), out
    assert '[Status] Beginning Installation' in out and '[Status] Extracting readme.txt' in out, out
    inst = os.path.join(machine, 'drives', 'c', 'Program Files', 'Demo Game')
    for root, _, files in os.walk(os.path.join(demo, 'files')):
        for f in files:
            rel = os.path.relpath(os.path.join(root, f), os.path.join(demo, 'files'))
            assert open(os.path.join(inst, rel), 'rb').read() == open(os.path.join(root, f), 'rb').read(), rel
    assert os.path.isfile(os.path.join(inst, 'Demo_install.log'))
    uninstaller = os.path.join(inst, 'Demo_Uninstall.exe')
    dump = call([wizpak, 'dump', uninstaller], env, code=1)  # an uninstaller carries no script
    info = subprocess.run([wizpak, 'list', uninstaller], capture_output=True, encoding='latin-1').stdout
    assert 'SetupInfo' in info and 'LANGUAGE-uninstall\\english' in info and 'CompiledLines' not in info, info
    link = os.path.join(machine, 'drives', 'c', 'Documents and Settings', 'User', 'Start Menu', 'Programs',
                        'Demo Game', 'Read Me.lnk')
    data = open(link, 'rb').read()
    assert data[:4] == b'L\0\0\0' and b'C:\\Program Files\\Demo Game\\readme.txt' in data
    reg = open(os.path.join(machine, 'registry.reg'), 'rb').read().decode('utf-16')
    # The wizard's install-directory page stores the directory with a trailing
    # backslash once it has been visited, and "$INSTDIR" keeps it; the
    # Uninstall key's paths have single separators.
    assert '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo Game]\r\n"InstallPath"="C:\\\\Program Files\\\\Demo Game\\\\"' in reg, reg
    # Quoted, so that a planted "C:\Program.exe" cannot take the uninstaller's place.
    assert '"UninstallString"="\\"C:\\\\Program Files\\\\Demo Game\\\\Demo_Uninstall.exe\\""' in reg, reg
    assert '"DisplayIcon"="C:\\\\Program Files\\\\Demo Game\\\\Demo_Uninstall.exe"' in reg, reg
    assert '"InstallLocation"="C:\\\\Program Files\\\\Demo Game"' in reg, reg

    # The log's digest is kept under HKLM; a log changed afterwards is not
    # believed: an error log, nothing deleted, the log kept.
    import hashlib
    import re
    log = os.path.join(inst, 'Demo_install.log')
    original = open(log, 'rb').read()
    digest = re.search(r'"InstallLogDigest"="([0-9a-f]{64})"', reg)
    assert digest and digest.group(1) == hashlib.sha256(original).hexdigest(), reg
    open(log, 'ab').write(b'\x00')
    out = call([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'], env, code=2)
    assert 'install log has been changed' in out, out
    assert os.path.isfile(os.path.join(inst, 'readme.txt')) and os.path.isfile(log)
    open(log, 'wb').write(original)

    # A file the setup did not write keeps its folder.
    open(os.path.join(inst, 'docs', 'mine.txt'), 'w').write('user data')
    out = call([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'], env)
    assert '[Status] Status: 0 of' in out and re.search(r'\[Execute\] C:\\Temp\\wizpak-[0-9a-f]{24}\\FINALISE\.exe ', out), out
    left = sorted(os.path.relpath(os.path.join(r, f), inst) for r, _, fs in os.walk(inst) for f in fs)
    # The uninstaller itself is removed by its finaliser, a Windows program.
    assert left == ['Demo_Uninstall.exe', os.path.join('docs', 'mine.txt')], left
    assert not os.path.exists(os.path.dirname(link))
    reg = open(os.path.join(machine, 'registry.reg'), 'rb').read().decode('utf-16')
    assert 'InstallPath' not in reg and 'UninstallString' not in reg, reg

    # Started again, the uninstaller misses its log: a fatal message, exit 1.
    out = call([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'], env, code=1)
    assert '[Setup Error] Error: install log is missing' in out, out
print('e2e.install_demo: ok')
