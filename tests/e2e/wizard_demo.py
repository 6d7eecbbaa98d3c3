#!/usr/bin/env python3
"""The demo through the headless wizard of wizpak-run: the default walk
installs and uninstalls, page by page in the transcript and the UI dump; a
scripted walk (back, another directory, a switch to a second language)
installs where it was told; Cancel, the close box and a stuck wizard end with
exit status 3."""
import json
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call  # noqa: E402

wizpak, run, demo, data = sys.argv[1:5]

GERMAN = {1: 'Willkommen bei <%SETUPTITLE%>', 12: '< Zurück', 13: 'Weiter >', 14: 'Abbrechen', 15: 'Installieren',
          16: 'Fertig', 24: 'Installationsordner', 25: 'Ordner wählen', 27: 'Wirklich beenden?', 28: 'Beenden'}


def machine(work, name, ini=''):
    root = os.path.join(work, name)
    os.makedirs(root)
    with open(os.path.join(root, 'machine.ini'), 'w') as f:
        f.write('[drives]\nC=fixed,100000000\nD=cdrom\n' + ini)
    return dict(os.environ, WIZPAK_HOST_ROOT=root, WIZPAK_UI_DUMP=os.path.join(root, 'dump.jsonl')), root


def dump(env):
    with open(env['WIZPAK_UI_DUMP'], encoding='utf-8') as f:
        return [json.loads(line) for line in f]


def visible(state):
    return [c['name'] for c in state['controls'] if c['visible']]


def control(state, name):
    return next(c for c in state['controls'] if c['name'] == name)


def buttons(state):
    return {k: (b['caption'], b['visible'], b['enabled']) for k, b in state['buttons'].items()}


with tempfile.TemporaryDirectory() as work:
    stub = os.path.join(work, 'stub.exe')
    with open(stub, 'wb') as f:
        f.write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', setup, '--stub', stub])

    # The default walk: Next while it can, Finish on the finish page.
    env, root = machine(work, 'default')
    out = call([run, setup], env).decode('utf-8')
    pages = [s for s in dump(env)]
    assert [(s['action'], s['page'], s['type']) for s in pages] == [
        ('start', 0, 'welcome'), ('next', 1, 'changelog'), ('next', 2, 'installdir'), ('next', 3, 'patch'),
        ('next', 5, 'finish')], pages
    welcome, changes, directory, patch, finish = pages
    assert welcome['caption'] == ' Demo Game' and welcome['panel'] == {'colour': 0}
    assert buttons(welcome) == {'back': ('< Back', False, True), 'next': ('Next >', True, True),
                                'cancel': ('Cancel', True, True), 'language': ('English', False, True)}
    assert welcome['menu'] == [{'caption': 'English', 'checked': True}]
    assert visible(welcome) == ['WelcomeLabel', 'WelcomeText', 'Side'], visible(welcome)
    label = control(welcome, 'WelcomeLabel')
    assert (label['kind'], label['left'], label['top'], label['width'], label['height']) == ('tlabel', 220, 120, 264, 16)
    assert label['font'] == {'face': 'MS Shell Dlg 2', 'size': 10, 'colour': 0xFFFFFF, 'bold': True}
    assert label['text'] == 'Welcome to Demo Game' and label['transparent'] is True
    assert '\r\r' in control(welcome, 'WelcomeText')['text']
    side = control(welcome, 'Side')
    assert side['kind'] == 'timage' and side['picture'] == {'width': 200, 'height': 375}, side
    # The change log: the package entry the setup information names, shown
    # from its rich text.
    assert visible(changes) == ['ChangeLogLabel', 'ChangeLogText', 'Side'], visible(changes)
    assert control(changes, 'ChangeLogLabel')['text'] == 'ChangeLog'
    text = control(changes, 'ChangeLogText')
    assert text['kind'] == 'trichedit' and 'Demo Game 1.0' in text['text'] and 'First release' in text['text'], text
    assert visible(directory) == ['InstallDirLabel', 'InstallDirLabel2', 'InstallDir_Edit', 'InstallDir_ShellTreeView',
                                  'Side']
    assert control(directory, 'InstallDir_Edit')['text'] == 'C:\\Program Files\\Demo Game'
    assert buttons(directory)['back'] == ('< Back', True, True)
    assert buttons(patch)['next'] == ('Install', True, True)
    assert control(patch, 'SpaceAvalible')['text'] == 'Space available 95.37 MB'
    assert control(patch, 'SpaceRequired')['text'].startswith('Space required ')
    assert buttons(finish) == {'back': ('< Back', False, True), 'next': ('Next >', False, True),
                               'cancel': ('Finish', True, True), 'language': ('English', False, True)}
    bar = control(finish, 'Patching_ProgressBar')
    assert (bar['min'], bar['max'], bar['position'], bar['gauge_caption']) == (0, 4, 4, '100%'), bar
    assert control(finish, 'Patching_StatusLabel')['text'] == 'Creating Shortcuts'
    assert '[Wizard] page 3 (patch)' in out and '[Wizard]   buttons: [< Back] [Install] [Cancel]' in out, out
    inst = os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')
    assert open(os.path.join(inst, 'readme.txt'), 'rb').read() == \
        open(os.path.join(demo, 'files', 'readme.txt'), 'rb').read()

    # Its uninstaller walks its own pages.
    os.remove(env['WIZPAK_UI_DUMP'])
    out = call([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'], env).decode('utf-8')
    pages = dump(env)
    assert [(s['action'], s['type']) for s in pages] == [('start', 'welcome'), ('next', 'patch'), ('next', 'finish')]
    assert pages[0]['caption'] == ' Demo Game Uninstallation', pages[0]['caption']
    assert buttons(pages[1])['next'][0] == 'Uninstall'
    # An uninstall needs no room: its page shows no space figures.
    shown = [c['name'] for c in pages[1]['controls'] if c['page'] == pages[1]['page'] and c['visible']]
    assert not [n for n in shown if 'space' in n.lower()], shown
    assert re.search(r'\[Execute\] C:\\Temp\\wizpak-[0-9a-f]{24}\\FINALISE\.exe ', out), out
    assert sorted(os.listdir(inst)) == ['Demo_Uninstall.exe'], os.listdir(inst)

    # A second language in a data folder of its own, and a scripted walk:
    # back, another directory, the language switched on the directory page.
    data2 = os.path.join(work, 'data')
    shutil.copytree(data, data2)
    text = 'Deutsch\r\n0407;\r\n' + ''.join(f'{n} {s}\r\n' for n, s in sorted(GERMAN.items()))
    with open(os.path.join(data2, 'languages', 'install', 'deutsch.wri'), 'wb') as f:
        f.write(b'\xff\xfe' + text.encode('utf-16-le'))
    script = open(os.path.join(demo, 'setup.wps'), encoding='utf-8').read()
    script = script.replace('language install\\english\n', 'language install\\english\nlanguage install\\deutsch\n')
    shutil.copytree(os.path.join(demo, 'files'), os.path.join(work, 'files'))
    shutil.copy(os.path.join(demo, 'changes.rtf'), work)
    with open(os.path.join(work, 'two.wps'), 'w', encoding='utf-8') as f:
        f.write(script)
    two = os.path.join(work, 'DemoSetup2.exe')
    call([wizpak, 'build', os.path.join(work, 'two.wps'), '-o', two, '--stub', stub, '--data', data2])
    env, root = machine(work, 'scripted',
                        '[wizard]\n1=next\n2=next\n3=back\n4=next\n5=tree C:\\\n6=dir C:\\Games\\Demo ; typed\n'
                        '7=language 1\n8=next\n9=next\n10=cancel\n')
    call([run, two, two], env)
    pages = dump(env)
    assert [(s['action'], s['type']) for s in pages] == [
        ('start', 'welcome'), ('next', 'changelog'), ('next', 'installdir'), ('back', 'changelog'),
        ('next', 'installdir'), ('tree C:\\', 'installdir'), ('dir C:\\Games\\Demo', 'installdir'), ('language 1', 'installdir'),
        ('next', 'patch'), ('next', 'finish')]
    assert buttons(pages[0])['language'] == ('English', True, True)
    assert control(pages[5], 'InstallDir_Edit')['text'] == 'C:\\'  # the folder picked in the tree
    switched = pages[7]
    assert control(switched, 'InstallDir_Edit')['text'] == 'C:\\Games\\Demo'
    assert control(switched, 'InstallDirLabel')['text'] == 'Installationsordner'
    assert switched['menu'] == [{'caption': 'English', 'checked': False}, {'caption': 'Deutsch', 'checked': True}]
    assert buttons(switched)['next'] == ('Weiter >', True, True) and buttons(switched)['language'][0] == 'Deutsch'
    assert buttons(pages[8])['next'][0] == 'Installieren'
    assert buttons(pages[9])['cancel'][0] == 'Fertig' and buttons(pages[9])['language'][1] is False
    games = os.path.join(root, 'drives', 'c', 'Games', 'Demo')
    assert os.path.isfile(os.path.join(games, 'readme.txt')), os.listdir(root)

    # A setup whose install directory has no drive letter names no place on a
    # Windows machine: nothing is written on the host outside the machine.
    # Pages without an install-directory page, so the run starts at once.
    direct = os.path.join(data2, 'layout', 'direct')
    os.makedirs(direct)
    for name in ('Layout.txt', 'Layout4.txt', 'Layout5.txt'):
        shutil.copy(os.path.join(data2, 'layout', 'install', name), direct)
    with open(os.path.join(direct, 'Pages.txt'), 'w') as f:
        f.write('[Pages]\r\nLayout.txt\r\nLayout4.txt\r\nLayout5.txt\r\n'
                '[PageTypes]\r\nWelcome\r\nPatching\r\nFinish\r\n[Settings]\r\ncolour $000000\r\n')
    outside = os.path.join(work, 'outside')
    native = script.replace('installdir "$PROGRAMFILES\\Demo Game"', 'installdir "' + outside + '"')
    native = native.replace('pages install-changelog\n', 'pages direct\n')
    assert native != script and 'pages direct' in native
    with open(os.path.join(work, 'native.wps'), 'w', encoding='utf-8') as f:
        f.write(native)
    leaky = os.path.join(work, 'Leaky.exe')
    call([wizpak, 'build', os.path.join(work, 'native.wps'), '-o', leaky, '--stub', stub, '--data', data2])
    os.makedirs(outside)  # there on the host: the setup must still not reach it
    env, root = machine(work, 'confined')
    out = call([run, leaky, leaky], env, code=6).decode('utf-8')
    assert '[Finish] Setup failed to install.' in out, out
    assert os.listdir(outside) == [], os.listdir(outside)
    logs = [f for f in os.listdir(os.path.join(root, 'drives', 'c', 'Temp')) if f.startswith('ErrorLog')]
    assert logs, 'no error log'
    report = open(os.path.join(root, 'drives', 'c', 'Temp', logs[0]), encoding='latin-1').read()
    assert 'could not be done' in report and 'run-journal' in report and 'nothing was changed' in report, report

    # A CD-ROM drive typed in disables Next; the walk is then stuck and the
    # driver closes it, answering the question: exit status 3.
    env, root = machine(work, 'stuck', '[wizard]\n1=next\n2=next\n3=dir D:\\Games\n')
    out = call([run, setup], env, code=3).decode('utf-8')
    assert '[Wizard] stuck' in out and '[Quit] Are you sure you want to quit the installation?' in out, out
    assert buttons(dump(env)[-1])['next'] == ('Next >', True, False)
    assert not os.path.exists(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game'))

    # Cancel answered No keeps the wizard; the close box answered Yes ends it.
    env, root = machine(work, 'cancel', '[wizard]\n1=cancel\n2=close\n[messageboxes]\nanswers=7,6\n')
    out = call([run, setup], env, code=3).decode('utf-8')
    assert out.count('[Quit] Are you sure') == 2, out
    assert [s['action'] for s in dump(env)] == ['start', 'cancel']

    # An action the driver does not know ends the walk, saying so.
    env, root = machine(work, 'unknown', '[wizard]\n1=jump\n')
    out = call([run, setup], env, code=3).decode('utf-8')
    assert 'unknown wizard action "jump"' in out, out

    # The debug window shows the listing and the dump.
    env, root = machine(work, 'debug', '[wizard]\n1=debug\n2=cancel\n[messageboxes]\nanswers=6\n')
    out = call([run, setup], env, code=3).decode('utf-8')
    assert '[Wizard] Debug window (870 x 600):' in out and 'SetupInfo:' in out and 'CompiledLines:' in out, out
    assert 'index group   original     stored     offset checksum name' in out, out
print('e2e.wizard_demo: ok')
