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
    # seconds over it instead of storing it raw. Without the compression
    # cache: the first build would fill it and the later ones finish at once.
    letters = bytes(b'abcdefghijklmnop'[i % 16] for i in range(256))
    with open(big, 'wb') as f:
        for _ in range(48):
            f.write(os.urandom(1 << 20).translate(letters))
    out = os.path.join(work, 'out.pak')
    caught = 0
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        for delay in (0.2, 0.6):
            # A build that finished before its signal left a whole OUT.
            if os.path.exists(out):
                os.remove(out)
            proc = subprocess.Popen([wizpak, 'pack', '--no-cache', out, big], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            time.sleep(delay)
            if proc.poll() is not None:
                continue  # finished before the signal: nothing to test this time
            proc.send_signal(sig)
            code = proc.wait()
            assert not os.path.exists(out + '.part'), f'{sig.name} after {delay} s left out.pak.part'
            if code == 0 or os.path.exists(out):
                # The build finished as the signal came (it ended first, or
                # the signal came as the package was renamed into place): the
                # package must be whole, and this build was not interrupted.
                assert code in (0, -sig), f'{sig.name} after {delay} s: exit {code}'
                check = subprocess.run([wizpak, 'verify', out], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                assert check.returncode == 0, f'{sig.name} after {delay} s left a damaged or no out.pak'
                continue
            assert code == -sig, f'{sig.name} after {delay} s: exit {code}'
            caught += 1
    assert caught >= 3, f'only {caught} builds were still running when signalled'
print(f'e2e.interrupted_build: {caught} interrupted builds left nothing behind')
