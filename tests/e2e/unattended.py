#!/usr/bin/env python3
"""Unattended installs and uninstalls of the demo through wizpak-run: /S with
and without /D= (a path with blanks), /LOG= contents, the full Uninstall key,
exit codes 1, 4 and 5 (a corrupt setup, a "failure" line, a CD-ROM or full
drive), a "messagebox" line answered by its default, and an unattended
uninstall that leaves nothing."""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call_text, key_values, log_lines, machine, registry, written_files  # noqa: E402,E501

wizpak, run, demo = sys.argv[1:4]
UNINSTALL_KEY = '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo Game]'


def build(work, name, extra='', level=None):
    return build_demo(wizpak, demo, work, name, extra, level)


with tempfile.TemporaryDirectory() as work:
    setup = build(work, 'plain')

    # /S /D= with blanks, split by the shell as a launcher would pass them.
    env, root = machine(work, 'silent')
    out = call_text([run, setup, '/s', '/LOG=C:\\setup.log', '/D=C:\\Games\\Demo', 'Game'], env)
    assert 'Verifying' not in out and '[Page]' not in out, out
    inst = os.path.join(root, 'drives', 'c', 'Games', 'Demo Game')
    assert open(os.path.join(inst, 'readme.txt'), 'rb').read() == \
        open(os.path.join(demo, 'files', 'readme.txt'), 'rb').read()
    log = log_lines(root, 'setup.log')
    assert log[0].startswith('Start: ') and log[0].endswith(' /s /LOG=C:\\setup.log /D=C:\\Games\\Demo Game'), log
    assert log[1] == 'Package: ' + setup, log
    assert re.fullmatch(r'Verified: \d+ entries', log[2]), log
    assert 'Install directory: C:\\Games\\Demo Game' in log, log
    assert 'Status: Extracting readme.txt' in log, log
    assert 'File: C:\\Games\\Demo Game\\readme.txt' in log, log
    assert 'Folder: C:\\Games\\Demo Game\\docs\\' in log, log
    assert 'File: C:\\Games\\Demo Game\\Demo_install.log' in log, log
    assert 'File: C:\\Games\\Demo Game\\Demo_Uninstall.exe' in log, log
    assert 'Registry: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo Game\\Publisher = Demo Works' \
        in log, log
    assert 'Shortcut: C:\\Documents and Settings\\User\\Start Menu\\Programs\\Demo Game\\Read Me.lnk' in log, log
    assert 'Registry: "HKLM" "SOFTWARE\\Demo Game" "InstallPath" "$INSTDIR"' in log, log
    assert log[-2:] == ['End: exit code 0', ''], log

    # The product's Uninstall key: everything Add/Remove Programs shows.
    values = key_values(registry(root), UNINSTALL_KEY)
    uninstaller = '\\"C:\\\\Games\\\\Demo Game\\\\Demo_Uninstall.exe\\"'
    size = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(inst) for f in fs
               if f not in ('Demo_Uninstall.exe', 'Demo_install.log'))
    expected = {
        '"DisplayName"': '"Demo Game"',
        '"UninstallString"': f'"{uninstaller}"',
        '"QuietUninstallString"': f'"{uninstaller} /S"',
        '"DisplayIcon"': '"C:\\\\Games\\\\Demo Game\\\\Demo_Uninstall.exe"',
        '"InstallLocation"': '"C:\\\\Games\\\\Demo Game"',
        '"InstallDate"': '"20261208"',
        '"EstimatedSize"': 'dword:%08x' % ((size + 1023) // 1024),
        '"NoModify"': 'dword:00000001',
        '"NoRepair"': 'dword:00000001',
        '"DisplayVersion"': '"1.0"',
        '"Publisher"': '"Demo Works"',
        '"URLInfoAbout"': '"https://example.com/demo-game"',
    }
    for name, value in expected.items():
        assert values.get(name) == value, (name, values)

    # The unattended uninstall leaves nothing of the setup's.
    out = call_text([run, 'C:\\Games\\Demo Game\\Demo_Uninstall.exe', '/S', '/LOG=C:\\uninstall.log'], env)
    assert re.search(r'\[Execute\] C:\\Temp\\wizpak-[0-9a-f]{24}\\FINALISE\.exe ', out), out
    # Only the uninstaller stays: its finaliser, a Windows program, removes it.
    assert sorted(os.listdir(inst)) == ['Demo_Uninstall.exe'], os.listdir(inst)
    reg = registry(root)
    # The product's key is gone, and the value the script wrote (its key, which
    # the log does not name, stays as on any uninstall).
    assert 'Uninstall\\Demo Game]' not in reg and 'InstallPath' not in reg, reg
    log = log_lines(root, 'uninstall.log')
    assert 'Status: Status: 0 of' in ' '.join(log) and log[-2] == 'End: exit code 0', log

    # Without /D= the setup's own directory; the uninstaller's /D= is ignored.
    env, root = machine(work, 'default-dir')
    call_text([run, setup, '/S'], env)
    assert os.path.isfile(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'readme.txt'))

    # A CD-ROM and a full drive: exit 5, nothing written, the log says why.
    env, root = machine(work, 'cdrom')
    call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=D:\\Demo Game'], env, code=5)
    log = log_lines(root, 'setup.log')
    assert 'Stopped: the drive of D:\\Demo Game cannot be installed to' in log and 'End: exit code 5' in log, log
    assert written_files(root) == [os.path.join('c', 'setup.log')] and registry(root) == '', written_files(root)
    env, root = machine(work, 'full', 'C=fixed,20000\n')
    call_text([run, setup, '/S', '/LOG=C:\\setup.log'], env, code=5)
    log = log_lines(root, 'setup.log')
    assert any(re.fullmatch(r'Stopped: C:\\Program Files\\Demo Game has 19\.53 KB free, the setup needs .*', x)
               for x in log), log
    assert written_files(root) == [os.path.join('c', 'setup.log')] and registry(root) == '', written_files(root)

    # A "messagebox" line takes its default answer (OK), and the log says so;
    # a "failure" line ends the run with exit 4.
    setup = build(work, 'asks', 'messagebox "Install the extras?" "Extras" extras done\n:extras\nfailure\n:done\n')
    env, root = machine(work, 'asks-silent')
    out = call_text([run, setup, '/S', '/LOG=C:\\setup.log'], env, code=4)
    assert '[Extras]' not in out, out
    log = log_lines(root, 'setup.log')
    assert 'Message box: Extras: Install the extras? -> OK (unattended)' in log, log
    assert 'Finish: Setup failed to install.' in log and 'End: exit code 4' in log, log
    # The same road with a person: the wizard's finish page, exit 4 as well.
    env, root = machine(work, 'asks-wizard')
    call_text([run, setup], env, code=4)

    # What cannot be written: exit 6, an error log written and named in the
    # log, but not opened (nobody is there to read it); the run is undone.
    setup = os.path.join(work, 'plain', 'DemoSetup.exe')
    env, root = machine(work, 'blocked')
    os.makedirs(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'readme.txt'))
    out = call_text([run, setup, '/S', '/LOG=C:\\setup.log'], env, code=6)
    assert '[Execute]' not in out and '[Error Report]' not in out, out
    log = log_lines(root, 'setup.log')
    assert 'Error log: C:\\Temp\\ErrorLog0000.TXT' in log and 'End: exit code 6' in log, log
    assert os.path.isfile(os.path.join(root, 'drives', 'c', 'Temp', 'ErrorLog0000.TXT'))
    assert 'Rolled back: Everything the run had changed was put back' in ' '.join(log), log
    assert os.listdir(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')) == ['readme.txt']

    # A corrupt setup: exit 1, the message in the log instead of a box.
    corrupt = os.path.join(work, 'plain', 'Corrupt.exe')
    data = bytearray(open(os.path.join(work, 'plain', 'DemoSetup.exe'), 'rb').read())
    data[2000] ^= 0xFF
    open(corrupt, 'wb').write(data)
    env, root = machine(work, 'corrupt')
    out = call_text([run, corrupt, '/S', '/LOG=C:\\setup.log'], env, code=1)
    assert '[Verification Error]' not in out, out
    log = log_lines(root, 'setup.log')
    assert any(x.startswith('Message box: Verification Error: Error: Verification Failed. Setup is corrupt. ID: ')
               and x.endswith('-> OK (unattended)') for x in log), log
    assert 'End: exit code 1' in log, log

    # A setup built at every compression level installs byte for byte.
    sizes = {}
    for level in range(1, 13):
        setup = build(work, f'level{level}', level=level)
        sizes[level] = os.path.getsize(setup)
        env, root = machine(work, f'level{level}-machine')
        call_text([run, setup, '/S'], env)
        inst = os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')
        for r, _, fs in os.walk(os.path.join(demo, 'files')):
            for f in fs:
                rel = os.path.relpath(os.path.join(r, f), os.path.join(demo, 'files'))
                assert open(os.path.join(inst, rel), 'rb').read() == open(os.path.join(r, f), 'rb').read(), (level, rel)
    assert sizes[12] <= sizes[9] <= sizes[1], sizes
    call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', os.path.join(work, 'x.exe'), '--level', '13'],
              code=2)

    # A log that cannot be written is a fatal start-up message.
    env, root = machine(work, 'no-log')
    out = call_text([run, setup, '/S', '/LOG=Q:\\setup.log'], env, code=1)
    assert not os.path.exists(os.path.join(root, 'drives', 'c', 'Program Files')), written_files(root)
print('e2e.unattended: ok')
