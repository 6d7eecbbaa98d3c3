#!/usr/bin/env python3
"""Files in use: the installed demo's data.bin held by "Demo Game (demo.exe)"
(the emulated machine's [in use] section) while the setup runs again and
while the uninstaller runs.

- Unattended: exit 7, nothing changed, /LOG and the error log name the file
  and the program.
- The wizard: the box names the program (its exact text, in the transcript
  and the UI dump); Cancel stays on the page before the run and leaves the
  machine as it was; Retry after the program has ended installs.
- A file that becomes busy only once the run has begun: unattended the run
  fails and is rolled back; in the wizard Retry goes on and installs.
- The uninstaller: the same check before it removes anything."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import build_demo, call, differences, log_lines, machine, snapshot  # noqa: E402

wizpak, run, demo = sys.argv[1:4]
HELD = 'C:\\Program Files\\Demo Game\\data.bin'
PROGRAM = 'Demo Game (demo.exe)'
BOX = ('Setup must change files that these programs are using:\r\r' + PROGRAM +
       '\r\rClose them, then choose Retry. Cancel leaves everything as it was.')
UNINSTALL_BOX = BOX.replace('Setup must change', 'Uninstall must remove')
UNINSTALLER = 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'


def fresh(base, work, name, ini):
    root = os.path.join(work, name)
    shutil.copytree(base, root, symlinks=True)
    with open(os.path.join(root, 'machine.ini'), 'a') as f:
        f.write(ini)
    return dict(os.environ, WIZPAK_HOST_ROOT=root, WIZPAK_HOST_FAST_CLOCK='1'), root


def start(args, env, code):
    r = subprocess.run([run] + args, env=env, capture_output=True)
    out = r.stdout.decode(errors='replace')
    assert r.returncode == code, (args, r.returncode, code, out)
    return out


def boxes(dump):
    return [b for line in open(dump, encoding='utf-8') for b in json.loads(line)['boxes']]


def error_log(root):
    temp = os.path.join(root, 'drives', 'c', 'Temp')
    logs = sorted(f for f in os.listdir(temp) if f.startswith('ErrorLog')) if os.path.isdir(temp) else []
    assert logs, 'no error log'
    return open(os.path.join(temp, logs[-1]), 'rb').read().decode('latin-1')


with tempfile.TemporaryDirectory() as work:
    setup = build_demo(wizpak, demo, work, 'plain')
    env, base = machine(work, 'base')
    call([run, setup, '/S'], env)
    # The data changed since, so a run that replaced it would show.
    game = os.path.join(base, 'drives', 'c', 'Program Files', 'Demo Game')
    open(os.path.join(game, 'data.bin'), 'wb').write(b'the game has this open')
    before = snapshot(base)
    held = '[in use]\n%s=%s\n' % (HELD, PROGRAM)

    def installs_after_one_retry(name, ini):
        """The wizard with the box once, answered Retry: data.bin installed."""
        env, root = fresh(base, work, name, ini)
        out = start([setup], env, 0)
        assert out.count('[Files in use] ') == 1, out
        assert open(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'data.bin'), 'rb').read() == \
            open(os.path.join(demo, 'files', 'data.bin'), 'rb').read()
        shutil.rmtree(root)

    # Unattended: exit 7, nothing changed, the log and the error log name them.
    env, root = fresh(base, work, 'silent', held)
    start([setup, '/S', '/LOG=C:\\setup.log'], env, 7)
    assert differences(snapshot(root), before) == ['c/setup.log'], differences(snapshot(root), before)
    log = log_lines(root, 'setup.log')
    assert 'Files in use: %s (held by %s)' % (HELD, PROGRAM) in log, log
    assert 'Stopped: files in use: nothing was changed' in log, log
    assert log[-2] == 'End: exit code 7', log
    text = error_log(root)
    assert 'Files in use: nothing was changed.' in text and HELD in text and PROGRAM in text, text
    shutil.rmtree(root)

    # The wizard, Cancel on the box: the page before the run, nothing changed.
    dump = os.path.join(work, 'cancel.jsonl')
    env, root = fresh(base, work, 'cancel', held + '[messageboxes]\nanswers=2,6\n'
                      '[wizard]\n1=next\n2=next\n3=next\n4=next\n5=cancel\n')
    env['WIZPAK_UI_DUMP'] = dump
    out = start([setup], env, 3)
    assert '[Files in use] ' + BOX.replace('\r', '\n') in out, out
    shown = boxes(dump)
    assert [(b['caption'], b['text'], b['answer']) for b in shown] == [('Files in use', BOX, 'cancel')], shown
    last = [json.loads(line) for line in open(dump, encoding='utf-8')][-1]
    assert last['type'] == 'patch' and last['boxes'], last
    assert differences(snapshot(root), before) == [], differences(snapshot(root), before)
    shutil.rmtree(root)

    # Retry once the program has ended (released after the first Retry).
    installs_after_one_retry('retry', held + 'release=1\n[messageboxes]\nanswers=4\n')

    # Busy only once the run has begun: unattended, the run fails and is
    # rolled back; in the wizard, Retry goes on.
    env, root = fresh(base, work, 'late', held + 'from=1\n')
    out = start([setup, '/S'], env, 6)
    assert differences(snapshot(root), before) == [], differences(snapshot(root), before)
    assert 'data.bin' in error_log(root), error_log(root)
    shutil.rmtree(root)
    installs_after_one_retry('late-retry', held + 'from=1\nrelease=1\n[messageboxes]\nanswers=4\n')

    # The uninstaller checks the logged files before it removes anything.
    env, root = fresh(base, work, 'uninstall', held)
    start([UNINSTALLER, '/S'], env, 7)
    assert differences(snapshot(root), before) == [], differences(snapshot(root), before)
    shutil.rmtree(root)
    env, root = fresh(base, work, 'uninstall-wizard',
                      held + '[messageboxes]\nanswers=2,6\n[wizard]\n1=next\n2=next\n3=cancel\n')
    out = start([UNINSTALLER], env, 3)
    assert '[Files in use] ' + UNINSTALL_BOX.replace('\r', '\n') in out, out
    assert differences(snapshot(root), before) == [], differences(snapshot(root), before)
    shutil.rmtree(root)
    env, root = fresh(base, work, 'uninstall-retry', held + 'release=1\n[messageboxes]\nanswers=4\n')
    out = start([UNINSTALLER], env, 0)
    assert out.count('[Files in use] ') == 1, out
    assert not os.path.exists(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game', 'data.bin'))
    shutil.rmtree(root)
print('files in use: ok')
