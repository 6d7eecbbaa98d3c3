#!/usr/bin/env python3
"""Many files in one folder: a setup of N small files, all in one folder,
installed unattended on the emulated machine (wizpak-run /S) and uninstalled
again by its uninstaller (/S), for each N given. Runs are interleaved
(small, large, small, large ...); the table shows each run's wall time and
the medians, and the last line the ratio of the largest N's median to the
smallest's, against the ratio of the counts. Linear work gives a ratio near
the counts' ratio (4 for 16,000 against 4,000); the goal is at most 4.5.

The emulated machines live in memory (/dev/shm) unless --machines says
otherwise: ext4 passes over inodes freed in the last half minute when it
makes a file, so on disk each install after an uninstall pays for the files
just removed, whatever program makes them (measured: 16,000 files 8.7 x the
time of 4,000 on ext4, with the install's own work linear).

usage: bench/many_files.py [--counts 4000,16000] [--pairs N] [--work DIR] [--machines DIR]

Needs the host build (build/host/bin).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
bin_dir = os.path.join(root, 'build', 'host', 'bin')
WIZPAK = os.path.join(bin_dir, 'wizpak')
RUN = os.path.join(bin_dir, 'wizpak-run')

SCRIPT = '''name "Many Files"
outfile "ManySetup.exe"
prefix Many
installdir "$PROGRAMFILES\\Many Files"
language install\\english
uninstallpages uninstall
uninstalllanguage uninstall\\english
file "files\\"
'''


def build(work, count):
    src = os.path.join(work, 'src-%d' % count)
    files = os.path.join(src, 'files')
    os.makedirs(files)
    for i in range(count):
        with open(os.path.join(files, 'File%05d.dat' % i), 'wb') as f:
            f.write(b'%d\r\n' % i)
    with open(os.path.join(src, 'setup.wps'), 'w') as f:
        f.write(SCRIPT)
    stub = os.path.join(work, 'stub.exe')
    if not os.path.exists(stub):
        with open(stub, 'wb') as f:
            f.write(b'MZ' + b'\0' * 1022)
    # The setup keeps the name it was built with (a renamed one refuses).
    setup = os.path.join(work, 'setup-%d' % count, 'ManySetup.exe')
    os.makedirs(os.path.dirname(setup))
    subprocess.run([WIZPAK, 'build', os.path.join(src, 'setup.wps'), '-o', setup, '--stub', stub], check=True,
                   stdout=subprocess.DEVNULL)
    return setup


def timed(args, env):
    start = time.perf_counter()
    r = subprocess.run(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    took = time.perf_counter() - start
    if r.returncode != 0:
        sys.exit('%s exited %d: %s' % (' '.join(args), r.returncode, r.stderr.decode(errors='replace')))
    return took


def one_run(machines, setup, count, run):
    machine = os.path.join(machines, 'machine-%d-%d' % (count, run))
    os.makedirs(machine)
    with open(os.path.join(machine, 'machine.ini'), 'w') as f:
        f.write('[drives]\nC=fixed,100000000000\n')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    install = timed([RUN, setup, '/S'], env)
    folder = os.path.join(machine, 'drives', 'c', 'Program Files', 'Many Files')
    listed = len(os.listdir(folder))
    if listed < count:
        sys.exit('the install of %d files left %d in the folder' % (count, listed))
    uninstall = timed([RUN, 'C:\\Program Files\\Many Files\\Many_Uninstall.exe', '/S'], env)
    left = os.listdir(folder) if os.path.isdir(folder) else []
    if any(name.endswith('.dat') for name in left):
        sys.exit('the uninstall of %d files left %d of them' % (count, len(left)))
    return install, uninstall


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--counts', default='4000,16000')
    ap.add_argument('--pairs', type=int, default=3)
    ap.add_argument('--work')
    ap.add_argument('--machines')
    a = ap.parse_args()
    counts = [int(c) for c in a.counts.split(',')]
    work = a.work or tempfile.mkdtemp(prefix='wizpak-many-')
    setups = {c: build(work, c) for c in counts}
    shm = '/dev/shm' if os.path.isdir('/dev/shm') else None
    machines = a.machines or tempfile.mkdtemp(prefix='wizpak-many-machines-', dir=shm)
    times = {c: ([], []) for c in counts}
    print('%8s %4s %10s %10s' % ('files', 'run', 'install', 'uninstall'))
    for run in range(a.pairs):
        for c in counts:
            install, uninstall = one_run(machines, setups[c], c, run)
            times[c][0].append(install)
            times[c][1].append(uninstall)
            print('%8d %4d %9.2fs %9.2fs' % (c, run + 1, install, uninstall), flush=True)
    print('medians:')
    for c in counts:
        print('%8d      %9.2fs %9.2fs' % (c, statistics.median(times[c][0]), statistics.median(times[c][1])))
    small, large = counts[0], counts[-1]
    for what, k in (('install', 0), ('uninstall', 1)):
        ratio = statistics.median(times[large][k]) / statistics.median(times[small][k])
        print('%s: %d files take %.2f x the time of %d (the counts: %.2f x; goal at most %.2f x)' %
              (what, large, ratio, small, large / small, large / small * 1.125))
    if not a.machines:
        shutil.rmtree(machines)
    if not a.work:
        shutil.rmtree(work)


if __name__ == '__main__':
    main()
