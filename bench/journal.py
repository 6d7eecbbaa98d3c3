#!/usr/bin/env python3
"""What the run journal costs: the unattended install of the benchmark payload
by this build's wizpak-run against a runtime built without the journal.

usage: bench/journal.py --base PATH/TO/OLD/wizpak-run [--small] [--pairs N] [--work DIR]

Two cases, each as interleaved pairs (old, new, old, new ...) on the same
Bench.exe (built once by this build's wizpak): an install onto an empty
folder, and an install over the finished installation of the same payload
(every file overwritten: the journal moves each old file aside by a rename
and deletes them at the commit). The table gives each run's wall time, the
ratio new / old per pair and the medians. Both runtimes must leave the
payload installed byte for byte, and the new one no journal.

The base runtime: a worktree of a commit before the journal, built with
  git worktree add /tmp/basewt COMMIT
  cmake -S /tmp/basewt -B /tmp/basebuild -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIZPAK_TESTS=OFF
  cmake --build /tmp/basebuild --target wizpak-run
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys

import bench


def install(run, exe, machine, fresh):
    if fresh:
        shutil.rmtree(machine, ignore_errors=True)
        os.makedirs(os.path.join(machine, 'drives', 'c'))
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    seconds, _ = bench.timed([run, exe, '/S'], env=env)
    return seconds


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    ap.add_argument('--base', required=True, help="the runtime without the journal")
    ap.add_argument('--small', action='store_true', help='a tenth of the payload')
    ap.add_argument('--pairs', type=int, default=5, help='interleaved pairs per case (at least 3)')
    ap.add_argument('--work', default=os.path.join(bench.root, 'build', 'bench-journal'), help='work folder')
    a = ap.parse_args()
    pairs = max(3, a.pairs)
    for tool in (bench.WIZPAK, bench.RUN, a.base):
        if not os.access(tool, os.X_OK):
            sys.exit(f'{tool} not found')
    work = a.work
    os.makedirs(work, exist_ok=True)
    payload = os.path.join(work, 'payload')
    print(f'making the payload in {payload} ...', flush=True)
    bench.make_payload(payload, a.small)
    bench.write_script(work)
    stub = bench.write_stub(work)
    subprocess.run([bench.WIZPAK, 'build', 'setup.wps', '-o', 'Bench.exe', '--stub', stub], cwd=work, check=True,
                   stdout=subprocess.DEVNULL)
    exe = os.path.join(work, 'Bench.exe')
    machine = os.path.join(work, 'machine')
    installed = os.path.join(machine, 'drives', 'c', 'Bench')

    for case, fresh in (('onto an empty folder', True), ('over the installation', False)):
        print(f'\ninstall {case}, {pairs} interleaved pairs')
        print(f'{"pair":>5} {"old s":>7} {"new s":>7} {"ratio":>6}')
        rows = []
        for p in range(pairs):
            if not fresh:
                install(a.base, exe, machine, True)
            old = install(a.base, exe, machine, fresh)
            if not fresh:
                install(a.base, exe, machine, True)
            new = install(bench.RUN, exe, machine, fresh)
            subprocess.run(['diff', '-r', '-q', payload, installed], check=True)
            left = [n for n in os.listdir(installed) if n.endswith('run-journal')]
            if left:
                sys.exit(f'a journal was left: {left}')
            rows.append((old, new))
            print(f'{p + 1:>5} {old:>7.2f} {new:>7.2f} {new / old:>6.3f}', flush=True)
        print(f'{"med":>5} {statistics.median(r[0] for r in rows):>7.2f} {statistics.median(r[1] for r in rows):>7.2f}'
              f' {statistics.median(r[1] / r[0] for r in rows):>6.3f}')


if __name__ == '__main__':
    main()
