#!/usr/bin/env python3
"""Build and install benchmark: wizpak against makensis (zlib, non-solid) on
one deterministic payload, and a wizpak-run install against gzip -dc of the
payload's tar.gz plus cp -r of the payload.

usage: bench/bench.py [--small] [--pairs N] [--work DIR]

The payload (fixed seed): 2,000 files in nested folders, 200 MB; one 80 MB
incompressible file, and of the rest a fifth highly compressible text, half
structured binary, the rest random bytes. --small makes a tenth of it (200
files, 20 MB, an 8 MB big file). Runs are interleaved A B A B ...; the table
shows wall time, peak memory (maximum resident set of the process) and output
size per run, the ratios per pair and the medians.

Needs the host build (build/host/bin), makensis (Debian package nsis), pigz and
libdeflate-gzip (packages pigz and libdeflate-tools), which
bench/run.sh installs with apt-get).
"""
import argparse
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
bin_dir = os.path.join(root, 'build', 'host', 'bin')
WIZPAK = os.path.join(bin_dir, 'wizpak')
RUN = os.path.join(bin_dir, 'wizpak-run')

WORDS = ('unit tank map sector bridge river supply convoy radar tower village road forest hill artillery '
         'infantry mission objective briefing victory defeat reinforcement scout patrol depot').split()


def make_payload(path, small):
    rng = random.Random(20261208)
    scale = 10 if small else 1
    files = 2000 // scale
    total = 200_000_000 // scale
    big = 80_000_000 // scale
    rest = total - big
    # Sizes of the other files: log-uniform, scaled to the rest exactly.
    raw = [rng.lognormvariate(0, 1.2) for _ in range(files - 1)]
    factor = rest / sum(raw)
    sizes = [max(1, int(r * factor)) for r in raw]
    sizes[-1] += rest - sum(sizes)
    # A fifth of the bytes text, half structured binary, the rest random.
    kinds = []
    acc = [0, 0, 0]
    goals = [rest * 0.2, rest * 0.5, rest * 0.3]
    for s in sizes:
        k = max(range(3), key=lambda i: goals[i] - acc[i])
        kinds.append(k)
        acc[k] += s
    if os.path.isdir(path):
        shutil.rmtree(path)
    os.makedirs(path)
    for i, (size, kind) in enumerate(zip(sizes, kinds)):
        folder = os.path.join(path, f'd{i % 7}', f's{i % 13}', f't{i % 5}')
        os.makedirs(folder, exist_ok=True)
        name = os.path.join(folder, f'f{i:04d}' + ('.txt', '.dat', '.bin')[kind])
        with open(name, 'wb') as f:
            f.write(content(rng, kind, size))
    with open(os.path.join(path, 'd0', 'movie.bin'), 'wb') as f:
        left = big
        while left:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n


def content(rng, kind, size):
    if kind == 0:
        out = []
        n = 0
        while n < size:
            line = ' '.join(rng.choice(WORDS) for _ in range(rng.randint(4, 12))) + '\r\n'
            out.append(line)
            n += len(line)
        return ''.join(out).encode()[:size]
    if kind == 1:
        # Records of a small header, counters, slowly changing values and noise.
        out = bytearray()
        k = 0
        while len(out) < size:
            out += b'REC\x01' + k.to_bytes(4, 'little') + (k * 7 % 1000).to_bytes(2, 'little')
            out += bytes((k + j) % 16 for j in range(10)) + rng.randbytes(4)
            k += 1
        return bytes(out[:size])
    return rng.randbytes(size)


def write_script(work):
    """The setup script of the payload, Bench.exe into C:\\Bench."""
    with open(os.path.join(work, 'setup.wps'), 'w') as f:
        f.write('name "Bench"\noutfile "Bench.exe"\ninstalldir "C:\\Bench"\n'
                'language install\\english\nfile "payload\\"\n')


def write_stub(work):
    """A stand-in for the Windows stub: wizpak-run reads only the package."""
    stub = os.path.join(work, 'stub.exe')
    with open(stub, 'wb') as f:
        f.write(b'MZ' + b'\0' * 510)
    return stub


def timed(args, cwd=None, env=None, stdout=subprocess.DEVNULL):
    """(seconds, peak resident KiB) of one command, which must succeed. The
    peak of a forked child starts from this process's size, so this process
    keeps no large buffers."""
    start = time.perf_counter()
    proc = subprocess.Popen(args, cwd=cwd, env=env, stdout=stdout, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    err = proc.stderr.read().decode(errors='replace')
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f'{" ".join(args)} exited {code}:\n{err}')
    return elapsed, usage.ru_maxrss


def shell_timed(command, cwd=None):
    return timed(['bash', '-c', command], cwd=cwd)


def mb(n):
    return f'{n / 1e6:.1f}'


def rebuilds(work, stub, pairs):
    """Rebuilds with the compression cache against a cold build, interleaved:
    cold (an empty cache), nothing changed, one file changed."""
    cache = os.path.join(work, 'rebuild-cache')
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(os.path.join(work, 'payload')) for f in fs)
    victim = files[len(files) // 2]
    original = open(victim, 'rb').read()
    print(f'\nrebuilds with the cache, {pairs} interleaved rounds (changed: {os.path.relpath(victim, work)}, '
          f'{mb(len(original))} MB)')
    print(f'{"round":>5} {"cold s":>7} {"same s":>7} {"/cold":>6} {"one s":>7} {"/cold":>6}')
    rows = []
    build = [WIZPAK, 'build', 'setup.wps', '-o', 'BenchC.exe', '--stub', stub, '--cache', cache]
    for p in range(pairs):
        shutil.rmtree(cache, ignore_errors=True)
        open(victim, 'wb').write(original)
        ct, _ = timed(build, cwd=work)
        st, _ = timed(build, cwd=work)
        open(victim, 'wb').write(original[:-1] + bytes([original[-1] ^ 1]))
        ot, _ = timed(build, cwd=work)
        rows.append((ct, st, ot))
        print(f'{p + 1:>5} {ct:>7.2f} {st:>7.2f} {st / ct:>6.3f} {ot:>7.2f} {ot / ct:>6.3f}', flush=True)
    open(victim, 'wb').write(original)
    same = statistics.median(r[1] / r[0] for r in rows)
    one = statistics.median(r[2] / r[0] for r in rows)
    print(f'{"med":>5} {statistics.median(r[0] for r in rows):>7.2f} {statistics.median(r[1] for r in rows):>7.2f}'
          f' {same:>6.3f} {statistics.median(r[2] for r in rows):>7.2f} {one:>6.3f}')
    print(f'rebuild / cold build: nothing changed {same:.3f} (goal 0.15), one file changed {one:.3f} (goal 0.2)')
    shutil.rmtree(cache, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    ap.add_argument('--small', action='store_true', help='a tenth of the payload')
    ap.add_argument('--pairs', type=int, default=3, help='interleaved pairs of runs (at least 3)')
    ap.add_argument('--work', default=os.path.join(root, 'build', 'bench'), help='work folder')
    ap.add_argument('--rebuilds-only', action='store_true', help='only the rebuilds with the compression cache')
    a = ap.parse_args()
    pairs = max(3, a.pairs)
    if a.rebuilds_only:
        os.makedirs(a.work, exist_ok=True)
        make_payload(os.path.join(a.work, 'payload'), a.small)
        write_script(a.work)
        rebuilds(a.work, write_stub(a.work), pairs)
        return
    makensis = shutil.which('makensis')
    if not makensis:
        sys.exit('makensis not found: run bench/run.sh, which installs the nsis package')
    for tool in (WIZPAK, RUN):
        if not os.access(tool, os.X_OK):
            sys.exit(f'{tool} not found: build the host programs (scripts/build.sh host)')
    work = a.work
    os.makedirs(work, exist_ok=True)
    payload = os.path.join(work, 'payload')
    print(f'making the payload in {payload} ...', flush=True)
    make_payload(payload, a.small)
    payload_bytes = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(payload) for f in fs)
    payload_files = sum(len(fs) for _, _, fs in os.walk(payload))
    largest = max(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(payload) for f in fs
                  if os.path.getsize(os.path.join(d, f)) < 73400320)

    write_script(work)
    with open(os.path.join(work, 'setup.nsi'), 'w') as f:
        f.write('SetCompressor zlib\nOutFile "bench-nsis.exe"\nInstallDir "$TEMP\\bench"\n'
                'RequestExecutionLevel user\nSection\nSetOutPath $INSTDIR\nFile /r "payload\\*"\nSectionEnd\n')
    stub = write_stub(work)

    print(f'payload: {payload_files} files, {mb(payload_bytes)} MB; largest below 70 MiB: {mb(largest)} MB')
    subprocess.run(['tar', '-cf', 'payload.tar', 'payload'], cwd=work, check=True)
    print(f'\nbuild, {pairs} interleaved rounds (wizpak: level 9 on all cores; makensis: zlib, non-solid; '
          f'references on the payload as one tar: pigz -9 -p 2, libdeflate-gzip -9)')
    print(f'{"round":>5} {"wizpak s":>9} {"MB peak":>8} {"out MB":>7} {"nsis s":>7} {"out MB":>7} {"pigz s":>7}'
          f' {"out MB":>7} {"ldgz s":>7} {"out MB":>7} {"/nsis":>6} {"/pigz":>6}')
    rows = []
    for p in range(pairs):
        wt, wm = timed([WIZPAK, 'build', 'setup.wps', '-o', 'Bench.exe', '--stub', stub, '--no-cache'], cwd=work)
        ws = os.path.getsize(os.path.join(work, 'Bench.exe'))
        nt, nm = timed([makensis, '-V1', 'setup.nsi'], cwd=work)
        ns = os.path.getsize(os.path.join(work, 'bench-nsis.exe'))
        pt, _ = shell_timed('pigz -9 -p 2 -c payload.tar > payload.pigz', cwd=work)
        ps = os.path.getsize(os.path.join(work, 'payload.pigz'))
        lt, _ = shell_timed('libdeflate-gzip -9 -c payload.tar > payload.ldgz', cwd=work)
        ls = os.path.getsize(os.path.join(work, 'payload.ldgz'))
        rows.append((wt, wm, ws, nt, ns, pt, ps, lt, ls))
        print(f'{p + 1:>5} {wt:>9.2f} {wm / 1024:>8.1f} {mb(ws):>7} {nt:>7.2f} {mb(ns):>7} {pt:>7.2f} {mb(ps):>7}'
              f' {lt:>7.2f} {mb(ls):>7} {wt / nt:>6.3f} {wt / pt:>6.3f}', flush=True)
    med = [statistics.median(r[i] for r in rows) for i in range(9)]
    print(f'{"med":>5} {med[0]:>9.2f} {med[1] / 1024:>8.1f} {mb(med[2]):>7} {med[3]:>7.2f} {mb(med[4]):>7}'
          f' {med[5]:>7.2f} {mb(med[6]):>7} {med[7]:>7.2f} {mb(med[8]):>7}'
          f' {statistics.median(r[0] / r[3] for r in rows):>6.3f} {statistics.median(r[0] / r[5] for r in rows):>6.3f}')
    print(f'output / payload: wizpak {med[2] / payload_bytes:.4f}, makensis {med[4] / payload_bytes:.4f}, '
          f'pigz -9 {med[6] / payload_bytes:.4f}, libdeflate -9 {med[8] / payload_bytes:.4f}')
    # The smallest setup the builder makes, for the record.
    zt, _ = timed([WIZPAK, 'build', 'setup.wps', '-o', 'BenchZ.exe', '--stub', stub, '--level', '12', '--no-cache'],
                  cwd=work)
    print(f'level 12: {zt:.2f} s, {mb(os.path.getsize(os.path.join(work, "BenchZ.exe")))} MB')

    # The same bytes from one thread.
    subprocess.run([WIZPAK, 'build', 'setup.wps', '-o', 'Bench1.exe', '--stub', stub, '--threads', '1', '--no-cache'],
                   cwd=work,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Compared in pieces: a forked child's peak counts this process's memory.
    same = filecmp.cmp(os.path.join(work, 'Bench.exe'), os.path.join(work, 'Bench1.exe'), shallow=False)
    print(f'parallel and single-threaded packages identical: {"yes" if same else "NO"}')
    rebuilds(work, stub, pairs)

    print(f'\nunattended install and verification, {pairs} interleaved rounds (wizpak-run /S, verification '
          f'included; baseline: gzip -dc of the tar.gz, then cp -r; wizpak verify against gzip -dc)')
    subprocess.run(['tar', '-czf', 'payload.tar.gz', 'payload'], cwd=work, check=True)
    machine = os.path.join(work, 'machine')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    print(f'{"round":>5} {"/S s":>7} {"MB peak":>8} {"gzip+cp s":>10} {"ratio":>6} {"verify s":>9} {"gzip s":>7}'
          f' {"ratio":>6}')
    rows = []
    for p in range(pairs):
        shutil.rmtree(machine, ignore_errors=True)
        os.makedirs(os.path.join(machine, 'drives', 'c'))
        rt, rm = timed([RUN, os.path.join(work, 'Bench.exe'), '/S'], env=env)
        installed = os.path.join(machine, 'drives', 'c', 'Bench')
        copy = os.path.join(work, 'copy')
        shutil.rmtree(copy, ignore_errors=True)
        gt, _ = shell_timed('gzip -dc payload.tar.gz > /dev/null', cwd=work)
        ct, _ = shell_timed('cp -r payload copy', cwd=work)
        vt, _ = timed([WIZPAK, 'verify', os.path.join(work, 'Bench.exe')])
        base = gt + ct
        rows.append((rt, rm, base, vt, gt))
        print(f'{p + 1:>5} {rt:>7.2f} {rm / 1024:>8.1f} {base:>10.2f} {rt / base:>6.3f} {vt:>9.2f} {gt:>7.2f}'
              f' {vt / gt:>6.3f}', flush=True)
    subprocess.run(['diff', '-r', '-q', payload, installed], check=True)
    med = [statistics.median(r[i] for r in rows) for i in range(5)]
    print(f'{"med":>5} {med[0]:>7.2f} {med[1] / 1024:>8.1f} {med[2]:>10.2f} '
          f'{statistics.median(r[0] / r[2] for r in rows):>6.3f} {med[3]:>9.2f} {med[4]:>7.2f} '
          f'{statistics.median(r[3] / r[4] for r in rows):>6.3f}')
    print(f'installed files identical to the payload: yes')
    print(f'\nmemory bound (2 x largest entry below 70 MiB + 32 MiB): {mb(2 * largest + 32 * 1048576)} MB')


if __name__ == '__main__':
    main()
