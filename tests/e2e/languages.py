#!/usr/bin/env python3
"""The shipped languages: every file has every string of the English one,
with the same template fields, and language ids of its own; a setup with all
eight speaks the language of the machine it runs on, and its uninstaller
too."""
import json
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call, machine  # noqa: E402

wizpak, run, demo, data = sys.argv[1:5]

NAMES = ['english', 'german', 'french', 'spanish', 'italian', 'polish', 'russian', 'portuguese-brazil']
# One id each language must answer to, and its Next button.
CHOSEN = {'0409': 'Next >', '0407': 'Weiter >', '040c': 'Suivant >', '0c0a': 'Siguiente >', '0410': 'Avanti >',
          '0415': 'Dalej >', '0419': 'Далее >', '0416': 'Avançar >'}


def read(path):
    raw = open(path, 'rb').read()
    assert raw[:2] == b'\xff\xfe', path
    lines = raw[2:].decode('utf-16-le').split('\r\n')
    assert lines[-1] == '', path
    name, ids, strings = lines[0], lines[1], {}
    for line in lines[2:-1]:
        number, _, text = line.partition(' ')
        assert number.isdigit() and int(number) not in strings, (path, line)
        strings[int(number)] = text
    assert re.fullmatch(r'([0-9a-f]{4};)+', ids), (path, ids)
    return name, ids[:-1].split(';'), strings


def fields(text):
    return sorted(re.findall(r'<%[A-Z]+%>|<LANG\d+>|<BR>', text))


for kind in ('install', 'uninstall'):
    folder = os.path.join(data, 'languages', kind)
    assert sorted(f[:-4] for f in os.listdir(folder)) == sorted(NAMES), os.listdir(folder)
    _, _, english = read(os.path.join(folder, 'english.wri'))
    owner = {}
    for name in NAMES:
        display, ids, strings = read(os.path.join(folder, name + '.wri'))
        assert sorted(strings) == sorted(english), (kind, name, set(strings) ^ set(english))
        for n, text in english.items():
            # The same fields, so every message still names its file or count;
            # a string English leaves empty stays empty, one it fills is filled.
            assert fields(strings[n]) == fields(text), (kind, name, n, strings[n])
            assert bool(strings[n]) == bool(text), (kind, name, n)
        for i in ids:
            assert i not in owner, (kind, name, i, owner.get(i))
            owner[i] = name
    assert all(owner[i] == NAMES[list(CHOSEN).index(i)] for i in CHOSEN), owner

with tempfile.TemporaryDirectory() as work:
    src = os.path.join(work, 'src')
    shutil.copytree(demo, src)
    script = open(os.path.join(src, 'setup.wps'), encoding='utf-8').read()
    script = script.replace('language install\\english\n',
                            ''.join(f'language install\\{n}\n' for n in NAMES))
    script = script.replace('uninstalllanguage uninstall\\english\n',
                            ''.join(f'uninstalllanguage uninstall\\{n}\n' for n in NAMES))
    open(os.path.join(src, 'setup.wps'), 'w', encoding='utf-8').write(script)
    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 1022)
    setup = os.path.join(work, 'DemoSetup.exe')
    call([wizpak, 'build', os.path.join(src, 'setup.wps'), '-o', setup, '--stub', stub, '--data', data])
    for lang, next_caption in CHOSEN.items():
        env, root = machine(work, 'm' + lang, f'C=fixed,100000000\n[machine]\nlanguage={lang}\n')
        # machine() ends its file with a [machine] section of its own.
        env['WIZPAK_UI_DUMP'] = os.path.join(root, 'dump.jsonl')
        call([run, setup], env)
        pages = [json.loads(line) for line in open(env['WIZPAK_UI_DUMP'], encoding='utf-8')]
        assert pages[0]['buttons']['next']['caption'] == next_caption, (lang, pages[0]['buttons'])
        assert pages[0]['menu'][list(CHOSEN).index(lang)]['checked'], (lang, pages[0]['menu'])
        # The uninstaller the run wrote speaks the same language.
        os.remove(env['WIZPAK_UI_DUMP'])
        call([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe'], env)
        pages = [json.loads(line) for line in open(env['WIZPAK_UI_DUMP'], encoding='utf-8')]
        assert pages[0]['buttons']['next']['caption'] == next_caption, (lang, pages[0]['buttons'])
print('e2e.languages: ok')
