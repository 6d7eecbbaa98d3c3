#!/usr/bin/env python3
"""A setup signed after it was built (osslsigncode, a self-signed certificate
made here) keeps its package: the signature verifies, wizpak list, verify and
extract read it, and it installs on the emulated machine with an uninstaller
whose headers name no certificate table. One byte of the package changed is
refused by the start-up verification. Hostile security directories are not
taken for a signature."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import call_text, run_checked  # noqa: E402

wizpak, run, stub, demo = sys.argv[1:5]
if not shutil.which('osslsigncode') or not shutil.which('openssl'):
    sys.exit('osslsigncode or openssl is missing: run scripts/bootstrap.sh')


def security_entry(data):
    """The file offset of the security directory's entry."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    magic = struct.unpack_from('<H', data, pe + 24)[0]
    return pe + 24 + (96 if magic == 0x10B else 112) + 4 * 8


def machine(work, name):
    root = os.path.join(work, name)
    os.makedirs(root)
    with open(os.path.join(root, 'machine.ini'), 'w') as f:
        f.write('[drives]\nC=fixed,100000000\n')
    return dict(os.environ, WIZPAK_HOST_ROOT=root), root


with tempfile.TemporaryDirectory() as work:
    run_checked(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', os.path.join(work, 'key.pem'),
                 '-out', os.path.join(work, 'cert.pem'), '-days', '30', '-subj', '/CN=wizpak test'])
    unsigned = os.path.join(work, 'unsigned', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(unsigned))
    call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', unsigned, '--stub', stub])
    signed = os.path.join(work, 'DemoSetup.exe')
    run_checked(['osslsigncode', 'sign', '-certs', os.path.join(work, 'cert.pem'), '-key',
                 os.path.join(work, 'key.pem'), '-n', 'Demo Game', '-in', unsigned, '-out', signed])
    data = open(signed, 'rb').read()
    table, size = struct.unpack_from('<II', data, security_entry(data))
    assert table + size == len(data) and table >= os.path.getsize(unsigned), (table, size, len(data))
    out = run_checked(['osslsigncode', 'verify', '-CAfile', os.path.join(work, 'cert.pem'), '-in', signed], code=0)
    assert b'Signature verification: ok' in out.stdout, out.stdout

    listing = call_text([wizpak, 'list', signed])
    assert 'readme.txt' in listing and 'DirectoryDigest' in listing, listing
    assert 'directory digest matches' in call_text([wizpak, 'verify', signed])
    call_text([wizpak, 'extract', signed, os.path.join(work, 'out'), '--group', '1'])
    assert open(os.path.join(work, 'out', 'readme.txt'), 'rb').read() == \
        open(os.path.join(demo, 'files', 'readme.txt'), 'rb').read()

    # Installed unattended; its uninstaller is a copy of the stub whose
    # headers no longer point at a certificate table.
    env, root = machine(work, 'install')
    call_text([run, signed, '/S'], env)
    inst = os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')
    assert open(os.path.join(inst, 'readme.txt'), 'rb').read() == \
        open(os.path.join(demo, 'files', 'readme.txt'), 'rb').read()
    uninstaller = open(os.path.join(inst, 'Demo_Uninstall.exe'), 'rb').read()
    assert struct.unpack_from('<II', uninstaller, security_entry(uninstaller)) == (0, 0)
    assert 'directory digest matches' in call_text([wizpak, 'verify', os.path.join(inst, 'Demo_Uninstall.exe')])
    call_text([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe', '/S'], env)
    assert not os.path.exists(os.path.join(inst, 'readme.txt'))

    # One byte of the package changed: the signature no longer matches, and
    # the setup's own verification refuses it.
    damaged = bytearray(data)
    damaged[table - 3000] ^= 0x55
    bad = os.path.join(work, 'bad', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(bad))
    open(bad, 'wb').write(damaged)
    env, root = machine(work, 'damaged')
    out = call_text([run, bad, '/S', '/LOG=C:\\setup.log'], env, code=1)
    log = open(os.path.join(root, 'drives', 'c', 'setup.log'), encoding='utf-8').read()
    assert 'Verification Failed' in log, log
    assert not os.path.exists(os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game'))

    # Signed by the build itself, with a key whose password comes from a file;
    # a wrong password fails the build and leaves nothing behind.
    run_checked(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-keyout', os.path.join(work, 'locked.pem'),
                 '-out', os.path.join(work, 'locked-cert.pem'), '-days', '30', '-subj', '/CN=wizpak locked',
                 '-passout', 'pass:s3cret'])
    with open(os.path.join(work, 'pass.txt'), 'w') as f:
        f.write('s3cret\n')
    built = os.path.join(work, 'built', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(built))
    sign = ['--sign-cert', os.path.join(work, 'locked-cert.pem'), '--sign-key', os.path.join(work, 'locked.pem'),
            '--sign-name', 'Demo Game', '--sign-url', 'https://example.com/demo-game']
    call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', built, '--stub', stub,
               '--sign-pass-file', os.path.join(work, 'pass.txt')] + sign)
    out = run_checked(['osslsigncode', 'verify', '-CAfile', os.path.join(work, 'locked-cert.pem'), '-in', built])
    assert b'Signature verification: ok' in out.stdout, out.stdout
    assert 'directory digest matches' in call_text([wizpak, 'verify', built])
    assert 'SignedUninstaller' in call_text([wizpak, 'list', built])
    # Its uninstaller was made and signed with it; the setup writes that one,
    # which takes the folder it runs from as its install directory.
    env, root = machine(work, 'built-install')
    call_text([run, built, '/S'], env)
    inst = os.path.join(root, 'drives', 'c', 'Program Files', 'Demo Game')
    assert os.path.isfile(os.path.join(inst, 'readme.txt'))
    uninstaller = os.path.join(inst, 'Demo_Uninstall.exe')
    out = run_checked(['osslsigncode', 'verify', '-CAfile', os.path.join(work, 'locked-cert.pem'), '-in', uninstaller])
    assert b'Signature verification: ok' in out.stdout, out.stdout
    listing = call_text([wizpak, 'list', uninstaller])
    assert 'LANGUAGE-uninstall\\english' in listing and 'FINALISE.EXE' in listing and 'CompiledLines' not in listing, \
        listing
    out = call_text([run, 'C:\\Program Files\\Demo Game\\Demo_Uninstall.exe', '/S'], env)
    assert not os.path.exists(os.path.join(inst, 'readme.txt')), out
    assert sorted(os.listdir(inst)) == ['Demo_Uninstall.exe'], os.listdir(inst)
    with open(os.path.join(work, 'wrong.txt'), 'w') as f:
        f.write('wrong\n')
    failed = os.path.join(work, 'failed', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(failed))
    text = call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', failed, '--stub', stub,
                      '--sign-pass-file', os.path.join(work, 'wrong.txt')] + sign, code=1)
    assert 'osslsigncode exited' in text and 'nothing was written' in text, text
    assert os.listdir(os.path.dirname(failed)) == [], os.listdir(os.path.dirname(failed))
    # The certificate and key from one PKCS#12 file, its password from a file.
    run_checked(['openssl', 'pkcs12', '-export', '-in', os.path.join(work, 'locked-cert.pem'), '-inkey',
                 os.path.join(work, 'locked.pem'), '-passin', 'pass:s3cret', '-out', os.path.join(work, 'both.p12'),
                 '-passout', 'pass:s3cret'])
    p12 = os.path.join(work, 'p12', 'DemoSetup.exe')
    os.makedirs(os.path.dirname(p12))
    call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', p12, '--stub', stub, '--sign-pkcs12',
               os.path.join(work, 'both.p12'), '--sign-pass-file', os.path.join(work, 'pass.txt')])
    out = run_checked(['osslsigncode', 'verify', '-CAfile', os.path.join(work, 'locked-cert.pem'), '-in', p12])
    assert b'Signature verification: ok' in out.stdout, out.stdout
    # The options hold together.
    text = call_text([wizpak, 'build', os.path.join(demo, 'setup.wps'), '-o', failed, '--sign-cert', 'c.pem'],
                     code=2)
    assert '--sign-cert and --sign-key go together' in text, text

    # Hostile security directories: past the end, inside the package, of size
    # zero, a size that wraps. None is taken for a signature; the file is no
    # package ("Invalid Setup Header").
    entry = security_entry(data)
    for name, (at, length) in {'past-end': (table, size + 8), 'inside': (table - 4096, size),
                               'zero': (table, 0), 'wraps': (table, 0xFFFFFFFF)}.items():
        hostile = bytearray(data)
        struct.pack_into('<II', hostile, entry, at, length)
        path = os.path.join(work, name + '.exe')
        open(path, 'wb').write(hostile)
        r = run_checked([wizpak, 'verify', path], code=1)
        assert b'no package found' in r.stderr, (name, r.stderr)
print('e2e.signed_setup: ok')
