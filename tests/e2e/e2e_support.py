"""What the e2e scripts share."""
import os
import shutil
import subprocess
import sys


def run_checked(args, env=None, code=0):
    """Runs args; the finished process. Ends the test, with both outputs,
    when the exit code is not code."""
    r = subprocess.run(args, capture_output=True, env=env)
    if r.returncode != code:
        sys.exit(f'{" ".join(args)} exited {r.returncode}, expected {code}:\n{r.stdout.decode(errors="replace")}'
                 f'{r.stderr.decode(errors="replace")}')
    return r


def call(args, env=None, code=0):
    """Runs args; its standard output as bytes (see run_checked)."""
    return run_checked(args, env, code).stdout


def call_text(args, env=None, code=0):
    """Runs args; both outputs as text (see run_checked)."""
    r = run_checked(args, env, code)
    return (r.stdout + r.stderr).decode('utf-8', errors='replace')


def machine(work, name, drives='C=fixed,100000000\nD=cdrom\n'):
    root = os.path.join(work, name)
    os.makedirs(root)
    with open(os.path.join(root, 'machine.ini'), 'w') as f:
        f.write('[drives]\n' + drives + '[machine]\ndate=2026-12-08\n')
    return dict(os.environ, WIZPAK_HOST_ROOT=root), root


def registry(root):
    path = os.path.join(root, 'registry.reg')
    return open(path, 'rb').read().decode('utf-16') if os.path.exists(path) else ''


def key_values(reg, key):
    """The values of one key of an export, as written."""
    start = reg.index(key + '\r\n') + len(key) + 2
    end = reg.find('\r\n\r\n', start)
    return dict(line.split('=', 1) for line in reg[start:end].split('\r\n'))


def log_lines(root, name):
    return open(os.path.join(root, 'drives', 'c', name), encoding='utf-8', newline='').read().split('\r\n')


def written_files(root):
    drive = os.path.join(root, 'drives')
    return sorted(os.path.relpath(os.path.join(r, f), drive) for r, _, fs in os.walk(drive) for f in fs)


def snapshot(root):
    """Every file and folder of the machine's drives (the temporary folder,
    where error logs go, left out) and the registry."""
    drives = os.path.join(root, 'drives')
    state = {}
    for top, dirs, files in os.walk(drives):
        rel = os.path.relpath(top, drives)
        if rel.startswith(os.path.join('c', 'Temp')):
            continue
        state[rel + '/'] = b''
        for f in files:
            state[os.path.join(rel, f)] = open(os.path.join(top, f), 'rb').read()
    reg = os.path.join(root, 'registry.reg')
    state['registry'] = open(reg, 'rb').read() if os.path.exists(reg) else b''
    return state


def differences(a, b):
    """The keys of two snapshots whose values differ."""
    return sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))


def build_demo(wizpak, demo, work, name, extra='', level=None):
    """The demo built by wizpak into WORK/NAME/DemoSetup.exe, with extra
    script lines after its first "file" line."""
    src = os.path.join(work, 'src-' + name)
    shutil.copytree(demo, src)
    script = os.path.join(src, 'setup.wps')
    text = open(script).read().replace('file "files\\"\n', 'file "files\\"\n' + extra, 1)
    open(script, 'w').write(text)
    stub = os.path.join(work, 'stub.exe')
    with open(stub, 'wb') as f:
        f.write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, name, 'DemoSetup.exe')
    os.makedirs(os.path.dirname(setup))
    call_text([wizpak, 'build', script, '-o', setup, '--stub', stub] + (['--level', str(level)] if level else []))
    return setup
