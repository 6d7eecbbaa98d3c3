#!/usr/bin/env python3
"""Hostile and unlucky cases through the host programs: a run that could not
save its log registers nothing; a trailer that hides the directory digest's
record is damage; an install log's counts never wrap; "archive cat" streams
a member larger than the memory it may use; a package past 4 GiB is named
so; an install directory that names a device is refused; one run of a
product at a time."""
import os
import resource
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call_text, log_lines, machine, registry  # noqa: E402

wizpak, run, demo = sys.argv[1:4]
UNINSTALL_KEY = 'Uninstall\\Demo Game]'


def register_last(work, setup):
    """A folder where the install log must go: exit 6, the failure text and
    the log say so, everything the run wrote is put back, and the product is
    not in Add/Remove Programs."""
    env, root = machine(work, 'register-last')
    os.makedirs(os.path.join(root, 'drives', 'c', 'Games', 'Demo', 'Demo_install.log'))
    call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=C:\\Games\\Demo'], env, code=6)
    log = ' '.join(log_lines(root, 'setup.log'))
    assert 'C:\\Games\\Demo\\Demo_install.log: it is a folder, not a file' in log, log
    assert 'Everything the run had changed was put back' in log, log
    assert 'Finish: Setup failed to install.' in log, log
    reg = registry(root)
    assert UNINSTALL_KEY not in reg and 'Demo Game]' not in reg, reg
    assert os.listdir(os.path.join(root, 'drives', 'c', 'Games', 'Demo')) == ['Demo_install.log']
    # The same setup with room for its log registers as before.
    env, root = machine(work, 'registered')
    call_text([run, setup, '/S', '/D=C:\\Games\\Demo'], env)
    assert UNINSTALL_KEY in registry(root)


def device_names(work, setup):
    """Install directories Windows programs could not open as folders: exit 5,
    the reason in the log, nothing written."""
    for n, d in enumerate(['C:\\CON', 'C:\\NUL\\Demo', 'C:\\LPT1.txt\\x']):
        env, root = machine(work, 'device-%d' % n)
        call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=' + d], env, code=5)
        log = log_lines(root, 'setup.log')
        assert any(line.startswith('Stopped: %s cannot be installed to: it names the device ' % d) for line in log), log
        assert sorted(os.listdir(os.path.join(root, 'drives', 'c'))) == ['setup.log'], os.listdir(root)


def four_gib(work):
    """Two files of 2.1 GB each: the package would pass 4 GiB, which pack says
    (not "no error"), and nothing is left behind."""
    paths = []
    for name in ('a.bin', 'b.bin'):
        paths.append(os.path.join(work, name))
        with open(paths[-1], 'wb') as f:
            f.truncate(2100 << 20)
    out_path = os.path.join(work, 'big.pak')
    out = call_text([wizpak, 'pack', out_path] + paths, code=1)
    assert 'the package would pass 4 GiB with entry "b.bin"' in out, out
    assert not os.path.exists(out_path) and not os.path.exists(out_path + '.part'), os.listdir(work)
    for p in paths:
        os.remove(p)


def one_run_at_a_time(work):
    """A second run of the same product while the first goes on (its script
    waits for a program) refuses to start: exit 1 and the reason; the first
    ends as it would have."""
    setup = build_demo(wizpak, demo, work, 'waits', 'execute "C:\\\\sleeper" "%s"\n' % os.path.join(work, 'pause.sh'))
    env, root = machine(work, 'two-runs')
    drive = os.path.join(root, 'drives', 'c')
    os.makedirs(drive)
    with open('/bin/sh', 'rb') as f:
        open(os.path.join(drive, 'sleeper'), 'wb').write(f.read())
    os.chmod(os.path.join(drive, 'sleeper'), 0o755)
    marker = os.path.join(work, 'started')
    open(os.path.join(work, 'pause.sh'), 'w').write('touch "%s"\nsleep 2\n' % marker)
    first = subprocess.Popen([run, setup, '/S', '/LOG=C:\\first.log'], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    for _ in range(200):
        if os.path.exists(marker):
            break
        time.sleep(0.05)
    assert os.path.exists(marker), 'the first run never reached its program'
    call_text([run, setup, '/S', '/LOG=C:\\second.log'], env, code=1)
    log = ' '.join(log_lines(root, 'second.log'))
    assert 'a setup or uninstaller of Demo Game is running already' in log, log
    assert first.wait(60) == 0
    call_text([run, setup, '/S', '/LOG=C:\\third.log'], env)


def hidden_digest(work, setup):
    """One entry fewer in the trailer's count hides the digest's record; the
    bytes left before the trailer fail verification, extraction and start-up."""
    data = bytearray(open(setup, 'rb').read())
    count = struct.unpack_from('<H', data, len(data) - 10)[0]
    struct.pack_into('<H', data, len(data) - 10, count - 1)
    bad = os.path.join(work, 'hidden', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(bad))
    open(bad, 'wb').write(data)
    out = call_text([wizpak, 'verify', bad], code=1)
    assert 'do not match the directory digest' in out, out
    out = call_text([wizpak, 'extract', bad, os.path.join(work, 'hidden-out')], code=1)
    assert 'nothing extracted' in out and not os.path.exists(os.path.join(work, 'hidden-out')), out
    env, root = machine(work, 'hidden-run')
    call_text([run, bad, '/S', '/LOG=C:\\setup.log'], env, code=1)
    log = ' '.join(log_lines(root, 'setup.log'))
    assert "does not match it" in log, log
    assert not os.path.exists(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')), log


def log_capacity(work):
    """An install log of 65,535 files loaded by "uninstalllogload" and added
    to: the counts cannot hold the sum, so nothing is saved, the run says why
    (exit 6) and registers nothing. A log holding more records than its
    header counts is damage, never read as records of another kind."""
    setup = build_demo(wizpak, demo, work, 'logload', 'uninstalllogload "$INSTDIR" "Demo_"\n')
    env, root = machine(work, 'log-capacity')
    inst = os.path.join(root, 'drives', 'c', 'Games', 'Demo')
    os.makedirs(inst)
    planted = struct.pack('<HHH', 65535, 0, 0) + b'\0\0' * 65535
    open(os.path.join(inst, 'Demo_install.log'), 'wb').write(planted)
    call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=C:\\Games\\Demo'], env, code=6)
    log = ' '.join(log_lines(root, 'setup.log'))
    assert 'more than the 65535 it can hold' in log, log
    assert open(os.path.join(inst, 'Demo_install.log'), 'rb').read() == planted
    assert UNINSTALL_KEY not in registry(root)

    env, root = machine(work, 'log-damaged')
    inst = os.path.join(root, 'drives', 'c', 'Games', 'Demo')
    os.makedirs(inst)
    open(os.path.join(inst, 'Demo_install.log'), 'wb').write(struct.pack('<HHH', 1, 0, 0) + b'\0\0' * 2)
    call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=C:\\Games\\Demo'], env, code=2)
    log = ' '.join(log_lines(root, 'setup.log'))
    assert 'Demo_install.log holds more records than its header counts: the log is damaged' in log, log
    assert UNINSTALL_KEY not in registry(root)


def cat_streams(work):
    """A member of 640 MiB printed by "archive cat" under a 512 MiB address
    space limit: it streams, and every byte arrives."""
    size = 640 << 20
    zeros = os.path.join(work, 'zeros.bin')
    with open(zeros, 'wb') as f:
        f.truncate(size)
    archive = os.path.join(work, 'big.zup')
    call_text([wizpak, 'archive', 'new', archive])
    call_text([wizpak, 'archive', 'add', archive, 'big.dat', zeros])
    os.remove(zeros)

    def limited():
        resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))

    # A sanitizer's shadow memory does not fit under the limit: said, not failed.
    if subprocess.run([wizpak, '--help'], capture_output=True, preexec_fn=limited).returncode != 0:
        print('e2e.hardening: this build cannot start under a 512 MiB limit (a sanitizer build); cat not measured')
        return
    p = subprocess.Popen([wizpak, 'archive', 'cat', archive, 'big.dat'], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, preexec_fn=limited)
    got = 0
    while chunk := p.stdout.read(1 << 20):
        assert chunk.count(0) == len(chunk)
        got += len(chunk)
    err = p.stderr.read().decode()
    assert p.wait() == 0 and got == size, (p.returncode, got, err)


with tempfile.TemporaryDirectory() as work:
    setup = build_demo(wizpak, demo, work, 'plain')
    register_last(work, setup)
    hidden_digest(work, setup)
    device_names(work, setup)
    log_capacity(work)
    cat_streams(work)
    four_gib(work)
    one_run_at_a_time(work)
print('e2e.hardening: ok')
