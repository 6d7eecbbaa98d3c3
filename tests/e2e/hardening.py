#!/usr/bin/env python3
"""Hostile and unlucky cases through the host programs: a run that could not
save its log registers nothing; a trailer that hides the directory digest's
record is damage."""
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call_text, log_lines, machine, registry  # noqa: E402

wizpak, run, demo = sys.argv[1:4]
UNINSTALL_KEY = 'Uninstall\\Demo Game]'


def register_last(work, setup):
    """A folder where the install log must go: exit 6, the failure text and
    the log say so, and the product is not in Add/Remove Programs."""
    env, root = machine(work, 'register-last')
    os.makedirs(os.path.join(root, 'drives', 'c', 'Games', 'Demo', 'Demo_install.log'))
    call_text([run, setup, '/S', '/LOG=C:\\setup.log', '/D=C:\\Games\\Demo'], env, code=6)
    log = ' '.join(log_lines(root, 'setup.log'))
    assert 'C:\\Games\\Demo\\Demo_install.log: it is a folder, not a file' in log, log
    assert 'Demo Game: the product was not registered' in log, log
    assert 'Finish: Setup failed to install.' in log, log
    reg = registry(root)
    assert UNINSTALL_KEY not in reg, reg
    # The same setup with room for its log registers as before.
    env, root = machine(work, 'registered')
    call_text([run, setup, '/S', '/D=C:\\Games\\Demo'], env)
    assert UNINSTALL_KEY in registry(root)


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


with tempfile.TemporaryDirectory() as work:
    setup = build_demo(wizpak, demo, work, 'plain')
    register_last(work, setup)
    hidden_digest(work, setup)
print('e2e.hardening: ok')
