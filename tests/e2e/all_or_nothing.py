#!/usr/bin/env python3
"""All or nothing: a patch over the installed demo overwrites and adds files,
makes a folder, overwrites and adds registry values (one in a new key), adds
a shortcut, and patches a VFS container and a game archive.

- Every changing file operation of the run failing in turn, once (the run
  undoes itself) or from then on (the next start undoes it): the machine is as
  it was before, every file byte for byte and the registry, with no journal.
- The run killed before each operation in turn, then the setup started again
  and cancelled at its first page: the machine is as it was before; at some
  of those points the patch then runs to the end and gives the same machine
  as a run never interrupted.
- A journal cut at every byte: the next start never fails, never deletes a
  file the run did not make, and names what it could not undo."""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call, differences, machine, snapshot  # noqa: E402

wizpak, run, demo = sys.argv[1:4]
KILLED = 137
JOURNAL = os.path.join('c', 'Program Files', 'Demo Game', 'Demo_run-journal')

PATCH = '''name "Demo Game"
outfile "DemoPatch.exe"
prefix Demo
installdir "$PROGRAMFILES\\Demo Game"
pages install
uninstallpages uninstall
language install\\english
uninstalllanguage uninstall\\english
file "patch\\"
createdirectory "$INSTDIR\\saves"
createshortcut "$SMPROGRAMS\\Demo Game\\Tool.lnk" "$INSTDIR\\bin\\tool.dat" ""
writeregstr HKLM "SOFTWARE\\Demo Game" "InstallPath" "$INSTDIR\\"
writeregstr HKLM "SOFTWARE\\Demo Game" "Version" "1.1"
writeregstr HKCU "Software\\Demo Patch\\Seen" "Once" "yes"
vfsupdate "vfs\\" data.vfs
zupupdate "zup\\" Pw1 data.zup
delete "$INSTDIR\\demo.ini"
'''


def finished(root):
    """The snapshot of a finished run, its game archive by its members (its
    trailer takes new random seeds at every update)."""
    state = snapshot(root)
    archive = os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'data.zup')
    def out(*args):
        r = subprocess.run([wizpak, 'archive'] + list(args), capture_output=True)
        return r.stdout if r.returncode == 0 else b'<failed>'
    listing = out('ls', archive).decode().split('\n')
    members = b''.join(out('cat', archive, name) for name in ('README.TXT', 'extra.txt'))
    state['c/Program Files/Demo Game/data.zup'] = '\n'.join(listing[1:]).encode() + members
    return state


def fresh(base, work, name, ini_extra=''):
    root = os.path.join(work, name)
    shutil.copytree(base, root, symlinks=True)
    if ini_extra:
        with open(os.path.join(root, 'machine.ini'), 'a') as f:
            f.write(ini_extra)
    return dict(os.environ, WIZPAK_HOST_ROOT=root, WIZPAK_HOST_FAST_CLOCK='1'), root


def start_and_cancel(root, answers='1,6'):
    """The patch started again and cancelled at its first page (the roll-back
    box answered OK, the quit question Yes): exit 3."""
    with open(os.path.join(root, 'machine.ini'), 'a') as f:
        f.write('[wizard]\n1=cancel\n[messageboxes]\nanswers=' + answers + '\n')
    env = dict(os.environ, WIZPAK_HOST_ROOT=root, WIZPAK_HOST_FAST_CLOCK='1')
    r = subprocess.run([run, patch], env=env, capture_output=True)
    out = r.stdout.decode(errors='replace')
    assert r.returncode == 3, (r.returncode, out)
    return out


# Hundreds of short runs, each flushing its journal: in memory where there is
# a memory file system.
with tempfile.TemporaryDirectory(dir='/dev/shm' if os.path.isdir('/dev/shm') else None) as work:
    setup = build_demo(wizpak, demo, work, 'plain')
    env, base = machine(work, 'base')
    call([run, setup, '/S'], env)
    game = os.path.join(base, 'drives', 'c', 'Program Files', 'Demo Game')
    container, archive = os.path.join(game, 'data.vfs'), os.path.join(game, 'data.zup')
    old = os.path.join(work, 'old.txt')
    open(old, 'wb').write(b'the first version')
    call([wizpak, 'vfs', 'new', container, '--block-size', '512', '--blocks', '128', '--roots', '8'])
    call([wizpak, 'vfs', 'add', container, 'readme.txt', old])
    call([wizpak, 'archive', 'new', archive, '--password', 'Pw1'])
    call([wizpak, 'archive', 'add', archive, 'README.TXT', old, '--password', 'Pw1'])

    src = os.path.join(work, 'patch-src')
    for rel, data in (('patch/readme.txt', b'the patched readme\r\n'), ('patch/bin/tool.dat', b'\x01tool' * 900),
                      ('patch/docs/changes.txt', b'version 1.1\r\n'), ('vfs/readme.txt', b'patched in the vfs'),
                      ('vfs/maps/new.dat', bytes(range(256)) * 20), ('zup/README.TXT', b'patched in the zup'),
                      ('zup/extra.txt', b'extra' * 300)):
        os.makedirs(os.path.dirname(os.path.join(src, rel)), exist_ok=True)
        open(os.path.join(src, rel), 'wb').write(data)
    open(os.path.join(src, 'patch.wps'), 'w').write(PATCH)
    stub = os.path.join(work, 'stub.exe')
    patch = os.path.join(work, 'DemoPatch.exe')
    call([wizpak, 'build', os.path.join(src, 'patch.wps'), '-o', patch, '--stub', stub])

    before = snapshot(base)
    env, ref = fresh(base, work, 'reference')
    call([run, patch, '/S'], env)
    after = finished(ref)
    changed = differences(before, snapshot(ref))
    for expected in ('c/Program Files/Demo Game/readme.txt', 'c/Program Files/Demo Game/bin/tool.dat',
                     'c/Program Files/Demo Game/data.vfs', 'c/Program Files/Demo Game/data.zup',
                     'c/Program Files/Demo Game/demo.ini', 'c/Program Files/Demo Game/saves/', 'registry'):
        assert expected in changed, (expected, changed)
    assert not os.path.exists(os.path.join(ref, 'drives', JOURNAL))
    shutil.rmtree(ref)

    # How many changing operations the run makes: a kill at N ends it only
    # while N is within the run.
    def killed_at(n):
        env, root = fresh(base, work, 'count')
        env['WIZPAK_HOST_KILL_AT'] = str(n)
        code = subprocess.run([run, patch, '/S'], env=env, capture_output=True).returncode
        shutil.rmtree(root)
        assert code in (0, KILLED), code
        return code == KILLED
    low, high = 1, 4096
    assert killed_at(low) and not killed_at(high)
    while high - low > 1:
        mid = (low + high) // 2
        low, high = (mid, high) if killed_at(mid) else (low, mid)
    operations = low
    assert operations > 40, operations

    # The fault walk.
    for persist in (False, True):
        for n in range(1, operations + 1):
            env, root = fresh(base, work, 'fault')
            env.update(WIZPAK_HOST_FAULT_AT=str(n), WIZPAK_HOST_FAULT_PERSISTS='1' if persist else '0')
            r = subprocess.run([run, patch, '/S'], env=env, capture_output=True)
            state = snapshot(root)
            if r.returncode == 0:
                # A failure the run can pass over (a temporary file left):
                # then it is the finished run. From then on every write
                # failed, so what it had moved aside may still be in the
                # journal's folder (no journal in it): the next run clears it.
                left = [k for k in differences(finished(root), after) if not k.startswith(JOURNAL)]
                assert left == [] and not os.path.exists(os.path.join(root, 'drives', JOURNAL, 'journal')), (
                    n, persist, differences(finished(root), after))
                assert persist or left == differences(finished(root), after), (n, 'litter after one failure')
                if os.path.exists(os.path.join(root, 'drives', JOURNAL)):
                    out = start_and_cancel(root, '6')
                    assert 'did not finish' not in out, out
                    assert differences(finished(root), after) == [], (n, differences(finished(root), after))
            else:
                assert r.returncode in (2, 6), (n, persist, r.returncode, r.stdout.decode(errors='replace'))
                if os.path.exists(os.path.join(root, 'drives', JOURNAL)):
                    # The disk failed from then on, so the run could not undo
                    # itself; the next start does.
                    assert persist, (n, 'a journal left by a single failure')
                    has_journal = os.path.exists(os.path.join(root, 'drives', JOURNAL, 'journal'))
                    start_and_cancel(root, '1,6' if has_journal else '6')
                    state = snapshot(root)
                assert differences(state, before) == [], (n, persist, differences(state, before))
            shutil.rmtree(root)

    # The kill walk; at every seventh point the patch is then run to the end.
    finals = 0
    for n in range(1, operations + 1):
        env, root = fresh(base, work, 'kill')
        env['WIZPAK_HOST_KILL_AT'] = str(n)
        code = subprocess.run([run, patch, '/S'], env=env, capture_output=True).returncode
        assert code == KILLED, (n, code)
        if os.path.exists(os.path.join(root, 'drives', JOURNAL, 'journal')):
            out = start_and_cancel(root)
            assert 'did not finish' in out, out
        elif os.path.exists(os.path.join(root, 'drives', JOURNAL)):
            # Killed while it made the folder, or once the run was final
            # (its journal deleted) while it cleared the folder: the next
            # start only clears it.
            out = start_and_cancel(root, '6')
            assert 'did not finish' not in out, out
            assert not os.path.exists(os.path.join(root, 'drives', JOURNAL)), n
            if differences(finished(root), after) == []:
                finals += 1
                shutil.rmtree(root)
                continue
        state = snapshot(root)
        assert differences(state, before) == [], (n, differences(state, before))
        if n % 7 == 0:
            env = dict(os.environ, WIZPAK_HOST_ROOT=root)
            call([run, patch, '/S'], env)
            assert differences(finished(root), after) == [], (n, differences(finished(root), after))
        shutil.rmtree(root)

    assert finals <= 8, finals  # only the last few operations come after the commit

    # A damaged journal: the run killed late, its journal then cut at every
    # byte. The next start rolls back what the journal still names, never
    # fails, and never deletes a file that was there before the run.
    # The latest point at which the journal is still whole on the disk.
    for late in range(operations, 0, -1):
        env, killed = fresh(base, work, 'late')
        env['WIZPAK_HOST_KILL_AT'] = str(late)
        assert subprocess.run([run, patch, '/S'], env=env, capture_output=True).returncode == KILLED
        if os.path.exists(os.path.join(killed, 'drives', JOURNAL, 'journal')):
            break
        shutil.rmtree(killed)
    journal = os.path.join(killed, 'drives', JOURNAL, 'journal')
    whole = open(journal, 'rb').read()
    step = max(1, len(whole) // 300)
    for cut in list(range(0, len(whole), step)) + [len(whole) - 1]:
        env, root = fresh(killed, work, 'cut')
        open(os.path.join(root, 'drives', JOURNAL, 'journal'), 'wb').write(whole[:cut])
        out = start_and_cancel(root)
        assert 'did not finish' in out, out
        state = snapshot(root)
        assert not os.path.exists(os.path.join(root, 'drives', JOURNAL)), cut
        folder = os.path.join(root, 'drives', JOURNAL + '.kept')
        kept = [open(os.path.join(folder, f), 'rb').read() for f in os.listdir(folder)] if os.path.isdir(folder) else []
        for path, data in before.items():
            if path.endswith('/') or path == 'registry':
                continue
            # No file of before is gone: it is back, or (what the cut journal
            # no longer names) it is as the run left it, or the old file is
            # kept in the journal's folder, renamed so that the next run can
            # start.
            assert path in state or data in kept, (cut, path)
        if cut == len(whole) - 1 or cut < 8:
            assert 'damaged' in out or cut < 8, out
        shutil.rmtree(root)
print(f'{operations} operations walked')
