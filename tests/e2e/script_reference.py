#!/usr/bin/env python3
"""docs/script-reference.md stays true: every keyword the builder knows has
its own heading there, and every `wps` example in it builds. An example is
built after a small prelude (name, pages, language) unless it is a complete
script; the complete script is also installed unattended on the emulated
machine."""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call_text  # noqa: E402

wizpak, run, reference, commands = sys.argv[1:5]
PRELUDE = ['name "Reference"', 'pages install', 'language install\\english']

text = open(reference, encoding='utf-8').read()

# Every keyword registered by the commands has a heading of its own.
source = open(commands, encoding='utf-8').read()
keywords = set(re.findall(r'(?:TCommandClass\(|TLanguageFileCommand\(|TProductValueCommand [A-Za-z]+\{)"([a-z_]+)"', source))
assert len(keywords) == 36, sorted(keywords)
headings = set()
for line in text.splitlines():
    if line.startswith('#### '):
        headings.update(re.findall(r'`([a-z_]+)`', line))
missing = sorted(keywords - headings)
assert not missing, f'keywords without a heading in {reference}: {missing}'
assert not headings - keywords, sorted(headings - keywords)

examples = re.findall(r'```wps\n(.*?)```', text, re.S)
# Every keyword is used by an example.
used = {line.split()[0].lower() for example in examples for line in example.splitlines() if line.strip()}
assert not keywords - used, f'keywords without an example: {sorted(keywords - used)}'

with tempfile.TemporaryDirectory() as work:
    # What the examples name in the script's folder.
    src = os.path.join(work, 'src')
    for folder, name, data in [('files', 'readme.txt', 'read me'), (os.path.join('files', 'docs'), 'manual.txt', 'm'),
                               ('patch', 'maps.dat', 'map'), ('vfs', 'level.dat', 'level'), ('', 'changes.rtf',
                                                                                               '{\\rtf1 1.0}'),
                               ('', 'eula.txt', 'Licence\n')]:
        os.makedirs(os.path.join(src, folder), exist_ok=True)
        with open(os.path.join(src, folder, name), 'w') as f:
            f.write(data)
    stub = os.path.join(work, 'stub.exe')
    with open(stub, 'wb') as f:
        f.write(b'MZ' + b'\0' * 1022)
    complete = None
    for i, example in enumerate(examples):
        whole = example.startswith('; a complete script')
        script = os.path.join(src, f'example{i}.wps')
        # The prelude's lines the example does not give itself.
        own = {line.split()[0].lower() for line in example.splitlines() if line.strip()}
        prelude = ''.join(line + '\n' for line in PRELUDE if line.split()[0] not in own)
        with open(script, 'w', encoding='utf-8') as f:
            f.write(example if whole else prelude + example)
        setup = os.path.join(work, f'example{i}.exe')
        r = call_text([wizpak, 'build', script, '-o', setup, '--stub', stub])
        assert os.path.isfile(setup), (example, r)
        if whole:
            complete = setup
    assert complete, 'no complete script in the reference'

    # The complete script installs, unattended, as the demo does.
    machine = os.path.join(work, 'machine')
    os.makedirs(machine)
    with open(os.path.join(machine, 'machine.ini'), 'w') as f:
        f.write('[drives]\nC=fixed,100000000\n')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    setup = os.path.join(work, 'DemoSetup.exe')
    os.rename(complete, setup)
    call_text([run, setup, '/S'], env)
    assert os.path.isfile(os.path.join(machine, 'drives', 'c', 'Program Files', 'Demo Game', 'readme.txt'))
print(f'e2e.script_reference: {len(keywords)} keywords, {len(examples)} examples built')
