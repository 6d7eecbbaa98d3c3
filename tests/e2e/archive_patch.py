#!/usr/bin/env python3
"""A patch with two "zupupdate" lines on one game archive, then "zupofficial"
and "duplicateentry", applied by wizpak-run. The archive is read back by the
reader below, written from the format's description alone: trailer and
password cipher, directory, every member (scrambled zlib streams inflated,
sound members parsed and their IMA ADPCM decoded), and compared with the
patch's files and with what `wizpak archive cat` gives. A second run leaves
the archive's length unchanged; a wrong password ends the run with the fatal
box and changes nothing."""
import decimal
import os
import struct
import sys
import tempfile
import zlib

from e2e_support import call

wizpak, run, fixtures = sys.argv[1:4]
fixture = os.path.join(fixtures, 'archivepatch')


# --- the password cipher -----------------------------------------------------

def sin_cos(x, want_sin):
    decimal.getcontext().prec = 60
    x = decimal.Decimal(x)
    term = x if want_sin else decimal.Decimal(1)
    total, n = term, 1 if want_sin else 0
    for _ in range(200):
        term = -term * x * x / ((n + 1) * (n + 2))
        n += 2
        total += term
    return total


def key(value):
    text = format(value, '.15g')
    return [int(c) for c in text if c in '123456789']


def unshift(k, s, reverse):
    out = []
    for p, c in enumerate(s):
        ch = (c - k[p % len(k)]) % 256
        if reverse:
            out.insert(0, ch)
        else:
            out.append(ch)
    return bytes(out)


def decrypt(seed_a, seed_b, data):
    t = unshift(key(sin_cos(seed_b, False)), data, True)
    return unshift(key(sin_cos(seed_a, True)), t, False)


# --- the archive --------------------------------------------------------------

STEPS = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66, 73, 80, 88,
         97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494, 544, 598, 658, 724,
         796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026,
         4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500,
         20350, 22385, 24623, 27086, 29794, 32767]
ADJUST = [-1, -1, -1, -1, 2, 4, 6, 8]


def read_archive(data):
    info = {'password': '', 'official': False, 'form': 'none'}
    trailer = 0
    if data[-13:-9] == b'ZUP2':
        info['form'] = 'ZUP2'
        pw = b''
        for c in data[-9:]:
            if not chr(c).isalnum():
                break
            pw += bytes([c])
        info['password'] = pw.decode()
        trailer = 13
    else:
        for i in range(51):
            at = len(data) - i - 6
            if data[at:at + 4] == b'ZUP3':
                if i > 0:
                    assert struct.unpack_from('<H', data, at + 4)[0] == 1
                    extra = len(data) - i
                    tag = data[extra:extra + 4]
                    info['form'] = 'ZUP3 ' + tag.decode()
                    a, b, n = struct.unpack_from('<BBH', data, extra + 4)
                    assert 2 <= a <= 6 and 2 <= b <= 6, (a, b)
                    info['password'] = decrypt(a, b, data[extra + 8:extra + 8 + n]).decode('latin-1')
                    if tag == b'EIH2':
                        info['official'] = data[extra + 8 + n] == 1
                        assert extra + 9 + n == len(data)
                    trailer = i + 6
                break
    head = len(data) - trailer - 20
    packed, unpacked, version, count, reserved = struct.unpack_from('<5I', data, head)
    assert version == 5 and reserved == 0 and unpacked == count * 152
    records = zlib.decompress(data[head - packed:head])
    assert len(records) == unpacked
    members = []
    for i in range(count):
        r = records[i * 152:(i + 1) * 152]
        marker, kind, _, date, stored, orig, offset, zero = struct.unpack_from('<HBBIIIII', r)
        assert marker == 0x0A0D and zero == 0 and date & 0xFFFF == 0
        n = r[24]
        assert n <= 127 and r[25 + n:] == b'\0' * (127 - n)
        assert offset + stored <= head - packed
        members.append({'name': r[25:25 + n].decode('latin-1'), 'kind': kind, 'stored': stored, 'orig': orig,
                        'offset': offset, 'bytes': data[offset:offset + stored]})
    return info, members


def unscramble(stream):
    if len(stream) <= 4:
        return stream
    first = struct.unpack_from('<I', stream)[0] ^ zlib.crc32(stream[4:])
    return struct.pack('<I', first) + stream[4:]


def decode_sound(stored):
    """(header fields, PCM data) of a sound member."""
    header = stored[:44]
    adpcm, loop_start, loop_end, to_end, payload = struct.unpack_from('<BiiBi', stored, 44)
    body = stored[58:]
    assert len(body) == payload
    size = struct.unpack_from('<I', header, 40)[0]
    channels = struct.unpack_from('<H', header, 22)[0]
    fields = {'adpcm': adpcm, 'loop': (loop_start, loop_end, to_end), 'size': size}
    if not adpcm:
        return fields, body[:size]
    blocks = (size + 2047) // 2048
    assert payload == size // 4 + 6 * blocks
    state = [[0, 0], [0, 0]]
    pcm = bytearray(size)
    for b in range(blocks):
        n = min(2048, size - 2048 * b)
        codes = body[518 * b:518 * b + n // 4]
        per = n // 2 // channels
        for ch in range(channels):
            part = codes[ch * per // 2:(ch + 1) * per // 2]
            for i in range(per):
                code = part[i // 2] >> 4 if i % 2 == 0 else part[i // 2] & 15
                pred, idx = state[ch]
                step = STEPS[idx]
                diff = step >> 3
                if code & 4:
                    diff += step
                if code & 2:
                    diff += step >> 1
                if code & 1:
                    diff += step >> 2
                pred = max(-32768, min(32767, pred - diff if code & 8 else pred + diff))
                idx = max(0, min(88, idx + ADJUST[code & 7]))
                state[ch] = [pred, idx]
                struct.pack_into('<h', pcm, 2048 * b + 2 * (i * channels + ch), pred)
        saved = body[518 * b + n // 4:518 * b + n // 4 + 6]
        p0, i0, p1, i1 = struct.unpack('<hBhB', saved)
        assert (p0, i0) == tuple(state[0]), (b, p0, i0, state[0])
        assert (p1, i1) == (tuple(state[1]) if channels == 2 else (0, 0))
    return fields, bytes(pcm)


def source_files():
    """Member name -> source bytes; the second folder wins."""
    files = {}
    for folder in ('patch1', 'patch2'):
        root = os.path.join(fixture, folder)
        for dirpath, _, names in os.walk(root):
            for name in names:
                path = os.path.join(dirpath, name)
                files[os.path.relpath(path, root).replace('/', '\\').lower()] = (
                    os.path.relpath(path, root).replace('/', '\\'), open(path, 'rb').read())
    return files


with tempfile.TemporaryDirectory() as work:
    machine = os.path.join(work, 'machine')
    env = dict(os.environ, WIZPAK_HOST_ROOT=machine)
    game = os.path.join(machine, 'drives', 'c', 'Games', 'Demo')
    os.makedirs(game)
    archive = os.path.join(game, 'data.zup')
    call([wizpak, 'archive', 'new', archive, '--password', 'Pw1'])
    old = os.path.join(work, 'old.txt')
    open(old, 'wb').write(b'the old readme')
    call([wizpak, 'archive', 'add', archive, 'README.TXT', old, '--password', 'Pw1'])
    call([wizpak, 'archive', 'add', archive, 'keep.txt', old, '--password', 'Pw1'])

    stub = os.path.join(work, 'stub.exe')
    open(stub, 'wb').write(b'MZ' + b'\0' * 510)
    patch = os.path.join(work, 'ArchivePatch.exe')
    call([wizpak, 'build', os.path.join(fixture, 'setup.wps'), '-o', patch, '--stub', stub])
    out = call([run, patch], env).decode('utf-8', errors='replace')
    files = source_files()
    total = len(files)
    # Both lines name data.zup and share one group: the first applies every
    # file, the second finds the group empty.
    assert f'[Status] Processing data.zup: 0 of {total} files' in out, out
    assert f'[Status] Processing data.zup: {total - 1} of {total} files' in out, out
    assert out.count('[Status] Writing data.zup`s Header') == 1, out

    data = open(archive, 'rb').read()
    info, members = read_archive(data)
    assert info == {'password': 'Pw1', 'official': True, 'form': 'ZUP3 EIH2'}, info
    by_name = {m['name'].lower(): m for m in members}
    # The replaced member keeps the old record's name as it was written.
    assert 'README.TXT' in [m['name'] for m in members]
    assert members[0]['name'] == 'keep.txt'
    assert by_name['docs\\readme-copy.txt']['offset'] == by_name['readme.txt']['offset']
    assert len(members) == total + 2, [m['name'] for m in members]
    checked = 0
    for lower, (name, source) in files.items():
        m = by_name[lower]
        assert m['orig'] == len(source), name
        cat = call([wizpak, 'archive', 'cat', archive, name])
        if not lower.endswith('.wav'):
            assert m['kind'] == 2
            assert zlib.decompress(unscramble(m['bytes'])) == source, name
            assert cat == source, name
            checked += 1
            continue
        assert m['kind'] == 1
        fields, pcm = decode_sound(m['bytes'])
        bits = struct.unpack_from('<H', source, 34)[0]
        size = struct.unpack_from('<I', source, 40)[0]
        want_adpcm = bits == 16 and '\\Effects\\' not in name and b'cue ' not in source[44 + size:]
        assert fields['adpcm'] == want_adpcm, name
        assert cat[44:] == pcm and cat[:4] == b'RIFF' and cat[8:40] == source[8:40], name
        if not want_adpcm:
            assert pcm == source[44:44 + size], name
        else:
            original = struct.unpack_from(f'<{fields["size"] // 2}h', source, 44)
            decoded = struct.unpack(f'<{len(pcm) // 2}h', pcm)
            err = sum((a - b) ** 2 for a, b in zip(original, decoded)) / len(decoded)
            sig = sum(a * a for a in original) / len(original)
            assert sig / err > 100, (name, sig, err)  # better than 20 dB
        if b'cue ' in source[44 + size:]:
            assert fields['loop'] == (600, size, 1), fields
        checked += 1
    assert checked == total
    assert zlib.decompress(unscramble(by_name['keep.txt']['bytes'])) == b'the old readme'
    listing = call([wizpak, 'archive', 'ls', archive]).decode()
    assert 'trailer: ZUP3 EIH2' in listing and 'official: yes' in listing and 'password: set' in listing, listing

    # The same patch again: nothing new is written.
    call([run, patch], env)
    again = open(archive, 'rb').read()
    assert len(again) == len(data), (len(again), len(data))
    assert read_archive(again)[0] == info

    # A wrong password: the fatal box, the program ends, the archive unchanged.
    wrong = os.path.join(work, 'Wrong.exe')
    call([wizpak, 'build', os.path.join(fixtures, 'archivewrong', 'setup.wps'), '-o', wrong, '--stub', stub])
    out = call([run, wrong], env, code=0x15).decode('utf-8', errors='replace')
    assert '[FatalAppExit] Error Incorrect Password\nFile: data.zup' in out, out
    assert open(archive, 'rb').read() == again
    assert not os.path.exists(archive + '.undo')
print('e2e.archive_patch: ok')
