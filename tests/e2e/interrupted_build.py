#!/usr/bin/env python3
"""A build or pack ended by Ctrl-C (SIGINT), SIGTERM or SIGHUP while it writes
leaves neither OUT nor OUT.part behind, and ends as the signal ends it."""
import os
import signal
import subprocess
import sys
import tempfile
import time

wizpak = sys.argv[1]

with tempfile.TemporaryDirectory() as work:
    big = os.path.join(work, 'big.bin')
    # Sixteen letters at random: compressible, so deflate at level 9 takes
    # seconds over it instead of storing it raw.
    letters = bytes(b'abcdefghijklmnop'[i % 16] for i in range(256))
    with open(big, 'wb') as f:
        for _ in range(48):
            f.write(os.urandom(1 << 20).translate(letters))
    out = os.path.join(work, 'out.pak')
    caught = 0
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        for delay in (0.2, 0.6):
            proc = subprocess.Popen([wizpak, 'pack', out, big], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            time.sleep(delay)
            if proc.poll() is not None:
                continue  # finished before the signal: nothing to test this time
            proc.send_signal(sig)
            code = proc.wait()
            assert code == -sig, f'{sig.name} after {delay} s: exit {code}'
            assert not os.path.exists(out + '.part'), f'{sig.name} after {delay} s left out.pak.part'
            assert not os.path.exists(out), f'{sig.name} after {delay} s left out.pak'
            caught += 1
    assert caught >= 3, f'only {caught} builds were still running when signalled'
print(f'e2e.interrupted_build: {caught} interrupted builds left nothing behind')
