#!/usr/bin/env bash
# Makes the seed corpora under fuzz/corpus/ from the project's fixtures with
# the host tools (scripts/build.sh host first). Seeds are kept small; inputs
# that once crashed a target are added by hand next to them and never removed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/build/host/bin"
corpus="$here/fuzz/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$corpus"/archive/empty.zup
mkdir -p "$corpus"/{package,setupinfo,complines,installlog,language,script,vfs,undo,archive,jpeg}

# Scripts: the demo and the e2e fixtures.
cp "$here/examples/demo/setup.wps" "$corpus/script/demo.wps"
for f in "$here"/tests/e2e/fixtures/*/setup.wps; do cp "$f" "$corpus/script/$(basename "$(dirname "$f")").wps"; done

# A small package, and the records of the demo setup.
printf 'alpha alpha alpha alpha\n' >"$work/a.txt"
head -c 300 /dev/urandom >"$work/b.bin"
"$bin/wizpak" pack "$corpus/package/small.pak" --group 1 "$work/a.txt" "$work/b.bin" >/dev/null
"$bin/wizpak" build "$here/tests/e2e/fixtures/commands/setup.wps" -o "$work/cmds.pak" --package-only >/dev/null 2>&1 ||
  "$bin/wizpak" build "$here/examples/demo/setup.wps" -o "$work/cmds.pak" --package-only >/dev/null
"$bin/wizpak" extract "$work/cmds.pak" "$work/x" --group 0 >/dev/null
cp "$work/x/SetupInfo" "$corpus/setupinfo/demo"
cp "$work/x/CompiledLines" "$corpus/complines/demo"

# An install log: the demo installed on an emulated machine.
"$bin/wizpak" build "$here/examples/demo/setup.wps" -o "$work/DemoSetup.exe" --package-only >/dev/null 2>&1
cp "$work/DemoSetup.exe" "$corpus/package/demo.pak"
mkdir -p "$work/m/drives/c"
WIZPAK_HOST_ROOT="$work/m" "$bin/wizpak-run" "$work/DemoSetup.exe" >/dev/null
find "$work/m" -iname '*install.log' -exec cp {} "$corpus/installlog/demo.log" \;

cp "$here/data/languages/install/english.wri" "$corpus/language/english.wri"
head -c 200 "$here/data/languages/uninstall/english.wri" >"$corpus/language/cut.wri"

# A VFS container with a few files.
"$bin/wizpak" vfs new "$corpus/vfs/small.vfs" --block-size 256 --blocks 24 --roots 4 >/dev/null
"$bin/wizpak" vfs add "$corpus/vfs/small.vfs" 'maps\desert\a.dat' "$work/a.txt" >/dev/null
"$bin/wizpak" vfs add "$corpus/vfs/small.vfs" 'readme.txt' "$work/b.bin" >/dev/null
rm -f "$corpus/vfs/small.ht"

# The same container with an undo journal: its first 3,000 bytes saved in two
# records (the journal's layout is in gamedata/UndoJournal.h), the container's
# header and one block changed as an interrupted update leaves them.
python3 - "$corpus/vfs/small.vfs" "$corpus/undo/interrupted" <<'PY'
import struct, sys, zlib
old = open(sys.argv[1], 'rb').read()
head = b'WZUNDOJ1' + struct.pack('<QI', len(old), 0)
head += struct.pack('<I', zlib.crc32(head))
records = b''
for offset, n in ((0, 1000), (1000, 2000)):
    r = struct.pack('<QI', offset, n) + old[offset:offset + n]
    records += r + struct.pack('<I', zlib.crc32(r))
new = bytearray(old)
new[0:4] = b'XXXX'
new[1500:1600] = b'\x55' * 100
open(sys.argv[2], 'wb').write(struct.pack('<H', len(new)) + bytes(new) + head + records)
PY

# Archives: empty with a password, with a text and a sound member, old trailer.
"$bin/wizpak" archive new "$corpus/archive/empty.zup" --password pw >/dev/null
"$bin/wizpak" archive new "$work/m.zup" >/dev/null
python3 - "$work/s.wav" <<'PY'
import struct, sys
d = b''.join(struct.pack('<h', (i * 911) % 20000 - 10000) for i in range(600))
cue = b'cue ' + struct.pack('<II', 28, 1) + struct.pack('<II', 1, 50) + b'data' + b'\0' * 12
body = b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 1, 11025, 22050, 2, 16) + b'data' + struct.pack('<I', len(d)) + d
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
open(sys.argv[1] + '.cue', 'wb').write(b'RIFF' + struct.pack('<I', len(body) + len(cue)) + body + cue)
PY
"$bin/wizpak" archive add "$work/m.zup" 'Data\A.txt' "$work/a.txt" 'Sounds\S.wav' "$work/s.wav" \
  'Sounds\Effects\L.wav' "$work/s.wav.cue" >/dev/null
cp "$work/m.zup" "$corpus/archive/members.zup"
python3 - "$work/m.zup" "$corpus/archive/old-trailer.zup" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
i = data.rfind(b'ZUP3')
open(sys.argv[2], 'wb').write(data[:i] + b'ZUP2abc\0\0\0\0\0\0')
PY

cp "$here/data/layout/install/Side.jpg" "$corpus/jpeg/side.jpg"
du -sh "$corpus"
