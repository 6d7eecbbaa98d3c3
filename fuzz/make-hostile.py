#!/usr/bin/env python3
"""Writes the crafted hostile inputs of the VFS and archive corpora: small
files whose counts, sizes and chains claim far more than they hold. Each once
cost minutes or gigabytes; the replay tests hold them to a second and a few
megabytes. usage: fuzz/make-hostile.py (writes into fuzz/corpus/)"""
import os
import struct
import zlib

corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')


def vfs(block_size, blocks, roots, links, root_entries, data):
    """A container: header, description, used count, block table, root slots, data."""
    head = b'VFS1' + struct.pack('<iiIIIi', block_size, blocks, len(root_entries) if roots is None else roots, 0, 0, 0)
    head += b'\0' * 16 + struct.pack('<I', 256) + b'\0' * 256 + struct.pack('<i', sum(1 for u, _ in links if u))
    table = b''.join(struct.pack('<Ii', used, nxt) for used, nxt in links)
    return head + table + b''.join(root_entries) + data


def entry(name, flags, first, size, orig=0):
    return name.encode().ljust(68, b'\0') + struct.pack('<IIiii', flags, 0, first, size, orig)


# Directories whose chains start inside one another: block i of one long
# chain holds a directory starting at block i + 1.
n = 400
links = [(1, b + 2 if b + 1 < n else -1) for b in range(n)]
data = b''.join(entry('d%d' % b, 2, b + 2, 88 * (n - b - 1)) for b in range(n))
with open(os.path.join(corpus, 'vfs', 'hostile-shared-chains'), 'wb') as f:
    f.write(vfs(88, n, None, links, [entry('top', 2, 1, 88 * n)], data))

# A compressed file whose two chunks each inflate to a whole chunk (50,000
# bytes) while the file claims one chunk.
chunk = zlib.compress(b'a' * 50000, 9)
stored = (struct.pack('<I', len(chunk)) + chunk) * 2
blocks = 4
data = stored.ljust(512 * blocks, b'\0')
links = [(1, -1)] + [(0, 0)] * (blocks - 1)
with open(os.path.join(corpus, 'vfs', 'hostile-chunks-past-size'), 'wb') as f:
    f.write(vfs(512, blocks, 2, links, [entry('bomb.dat', 1 | 8, 1, len(stored), 50000), b'\0' * 88], data))

# An archive member claiming 60 MB from 64 KB of stream that inflates to
# 64 KB: refused once the stream ends, without the 60 MB.
raw = os.urandom(65536)
stream = bytearray(zlib.compress(raw, 1))
crc = zlib.crc32(bytes(stream[4:]))
stream[0:4] = struct.pack('<I', struct.unpack('<I', bytes(stream[0:4]))[0] ^ crc)
name = b'big.dat'
record = bytearray(152)
record[0:3] = bytes([13, 10, 2])
struct.pack_into('<III', record, 8, len(stream), 60 * 1024 * 1024, 0)
record[24] = len(name)
record[25:25 + len(name)] = name
packed = zlib.compress(bytes(record), 9)
archive = bytes(stream) + packed + struct.pack('<IIIII', len(packed), 152, 5, 1, 0)
with open(os.path.join(corpus, 'archive', 'hostile-huge-claim.zup'), 'wb') as f:
    f.write(archive)

# Signed setups: a small PE image's headers, a package, the zero bytes that
# align a certificate table to 8, and the table the security directory names.
# The sound one and hostile directories: past the end, inside the package, of
# size zero, a size that wraps.
def signed(package, table_at=None, table_size=None):
    pe = bytearray(512)
    pe[0:2] = b'MZ'
    struct.pack_into('<I', pe, 0x3C, 64)
    pe[64:68] = b'PE\0\0'
    struct.pack_into('<HH', pe, 68, 0x14C, 0)  # machine, sections
    struct.pack_into('<H', pe, 68 + 16, 224)  # size of the optional header
    struct.pack_into('<H', pe, 88, 0x10B)  # PE32
    struct.pack_into('<I', pe, 88 + 92, 16)  # data directories
    body = bytes(pe) + package
    pad = (8 - len(body) % 8) % 8
    cert = struct.pack('<IHH', 16, 0x200, 2) + b'\0' * 8
    at = len(body) + pad if table_at is None else table_at
    size = len(cert) if table_size is None else table_size
    out = bytearray(body + b'\0' * pad + cert)
    struct.pack_into('<II', out, 88 + 96 + 4 * 8, at, size)
    return bytes(out)


small = open(os.path.join(corpus, 'package', 'small.pak'), 'rb').read()
sound = signed(small)
end = len(sound)
for name, data in [('signed', sound), ('signed-past-end', signed(small, end - 16, 32)),
                   ('signed-inside', signed(small, 520, end - 520)), ('signed-zero-size', signed(small, end, 0)),
                   ('signed-wraps', signed(small, end - 16, 0xFFFFFFFF))]:
    with open(os.path.join(corpus, 'package', name), 'wb') as f:
        f.write(data)
