#!/usr/bin/env python3
"""wizpak new: the project it writes builds and installs as it is, and it
refuses a folder that is not empty."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call, call_text, machine, registry, run_checked  # noqa: E402

wizpak, run = sys.argv[1:3]

with tempfile.TemporaryDirectory() as work:
    project = os.path.join(work, 'Star Rover')
    out = call_text([wizpak, 'new', project])
    assert 'wizpak build ' + project + '/setup.wps' in out, out
    written = sorted(os.path.relpath(os.path.join(r, f), project) for r, _, fs in os.walk(project) for f in fs)
    assert 'setup.wps' in written and 'files/readme.txt' in written, written
    assert {'layout/install/Pages.txt', 'layout/install/Side.jpg', 'languages/install/english.wri',
            'languages/uninstall/english.wri'} <= set(written), written
    script = open(os.path.join(project, 'setup.wps'), encoding='utf-8').read()
    assert 'name "Star Rover"' in script and 'outfile "StarRoverSetup.exe"' in script, script

    # It builds as it is, and its setup installs and uninstalls.
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    call([wizpak, 'build', os.path.join(project, 'setup.wps'), '--stub', stub])
    setup = os.path.join(project, 'StarRoverSetup.exe')
    assert os.path.isfile(setup)
    env, root = machine(work, 'm')
    call([run, '/S', setup], env)
    inst = os.path.join(root, 'drives', 'c', 'Program Files', 'Star Rover')
    assert sorted(os.listdir(inst)) == ['StarRover_Uninstall.exe', 'StarRover_install.log', 'readme.txt'], \
        os.listdir(inst)
    assert 'Star Rover' in registry(root)
    call([run, '/S', os.path.join('C:\\Program Files\\Star Rover', 'StarRover_Uninstall.exe').replace('/', '\\')],
         env)

    # A folder with something in it is left alone; a bad name is refused.
    r = run_checked([wizpak, 'new', project], code=1)
    assert b'is not empty; nothing was written' in r.stderr, r.stderr
    r = run_checked([wizpak, 'new', os.path.join(work, 'x'), '--name', 'Bad"Name'], code=1)
    assert b'cannot name a folder' in r.stderr and not os.path.exists(os.path.join(work, 'x')), r.stderr
    assert run_checked([wizpak, 'new'], code=2).stderr.startswith(b'usage: wizpak new DIR')
    assert run_checked([wizpak, 'new', '--help']).stdout.startswith(b'usage: wizpak new DIR')
print('e2e.new_project: ok')
