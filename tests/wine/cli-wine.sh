#!/usr/bin/env bash
# The Windows wizpak.exe under Wine: pack the demo files behind the real stub,
# list, verify and extract them, and compare with the originals; then build
# the demo setup from its script, which must give the same bytes as the
# Linux builder.
set -euo pipefail
wizpak=$1
stub=$2
examples=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/wizpak-wine-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$wizpak" "$stub" "$work/"
[ -f "$(dirname "$stub")/finalise.exe" ] && cp "$(dirname "$stub")/finalise.exe" "$work/"
cp -r "$examples/files" "$work/files"
cp -r "$examples" "$work/demo"
host_wizpak="$here/../../build/host/bin/wizpak"
if [ -x "$host_wizpak" ]; then
  # A VFS container the Linux tool made, extended by wizpak.exe under Wine.
  "$host_wizpak" vfs new "$work/game.vfs" --block-size 512 --blocks 256 --roots 8 >/dev/null
  "$host_wizpak" vfs add "$work/game.vfs" 'maps\desert\a.dat' "$examples/files/readme.txt" >/dev/null
  cp "$work/game.vfs" "$work/linux.vfs"
  cp "$work/game.ht" "$work/linux.ht"  # its hash side file goes with it
  # A game archive the Linux tool made, updated by wizpak.exe under Wine.
  "$host_wizpak" archive new "$work/game.zup" --password Pw1 >/dev/null
  "$host_wizpak" archive add "$work/game.zup" 'Docs\Readme.txt' "$examples/files/readme.txt" --password Pw1 >/dev/null
  # A container an update left half-written, with its undo journal: opened
  # by wizpak.exe it must come back byte for byte.
  "$host_wizpak" vfs new "$work/cut.vfs" --block-size 256 --blocks 24 --roots 4 >/dev/null
  "$host_wizpak" vfs add "$work/cut.vfs" 'readme.txt' "$examples/files/readme.txt" >/dev/null
  cp "$work/cut.vfs" "$work/cut.vfs.before"
  python3 - "$work/cut.vfs" <<'PY'
import struct, sys, zlib
path = sys.argv[1]
old = open(path, 'rb').read()
head = b'WZUNDOJ1' + struct.pack('<QI', len(old), 0)
head += struct.pack('<I', zlib.crc32(head))
record = struct.pack('<QI', 0, len(old)) + old
open(path + '.undo', 'wb').write(head + record + struct.pack('<I', zlib.crc32(record)))
cut = bytearray(old)
cut[0:4] = b'XXXX'
cut[700:800] = b'\x55' * 100
open(path, 'wb').write(bytes(cut) + b'grown')
PY
fi
cp -r "$(dirname "$wizpak")/data" "$work/data"
cat >"$work/run.bat" <<'BAT'
@echo off
cd /d %~dp0
wizpak.exe pack Setup.exe --stub wizpak-stub.exe files
if errorlevel 1 exit /b 11
wizpak.exe list Setup.exe
if errorlevel 1 exit /b 12
wizpak.exe verify Setup.exe
if errorlevel 1 exit /b 13
wizpak.exe extract Setup.exe out --group 1
if errorlevel 1 exit /b 14
wizpak.exe build demo\setup.wps -o DemoSetup.exe --stub wizpak-stub.exe
if errorlevel 1 exit /b 15
wizpak.exe dump DemoSetup.exe
if errorlevel 1 exit /b 16
wizpak.exe verify DemoSetup.exe
if errorlevel 1 exit /b 17
if exist game.vfs wizpak.exe vfs add game.vfs maps\desert\b.dat demo\files\data.bin
if errorlevel 1 exit /b 18
if exist game.zup wizpak.exe archive add game.zup data\data.bin demo\files\data.bin docs\readme.txt demo\files\readme.txt --password Pw1
if errorlevel 1 exit /b 19
if exist game.zup wizpak.exe archive official game.zup vormelk 1
if errorlevel 1 exit /b 20
if exist game.zup wizpak.exe archive cat game.zup data\data.bin > data.bin.out
if errorlevel 1 exit /b 21
if exist cut.vfs wizpak.exe vfs check cut.vfs > cut.out
if errorlevel 1 exit /b 22
echo done > done.txt
BAT
"$here/run-wine.sh" cmd /c "Z:${work//\//\\}\\run.bat"
[ -f "$work/done.txt" ] || { echo "wine.cli: the batch file stopped early" >&2; exit 1; }
diff -r "$examples/files" "$work/out"
head -c 2 "$work/Setup.exe" | grep -q MZ
# A name changed in the directory passes every entry's own check; the
# directory digest the builder wrote finds it.
python3 - "$work/DemoSetup.exe" "$work/Renamed.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.rfind(b'readme.txt')
data[at] = ord('s')
open(sys.argv[2], 'wb').write(data)
PY
# Runs wizpak.exe ARGS... under Wine, expecting a refusal (a non-zero exit);
# its error output goes to $work/NAME.err.
wizpak_refuses() {
  local name=$1
  shift
  printf '@echo off\r\ncd /d %%~dp0\r\nwizpak.exe %s 2> %s.err\r\nif not errorlevel 1 exit /b 1\r\nexit /b 0\r\n' "$*" "$name" \
    >"$work/$name.bat"
  "$here/run-wine.sh" cmd /c "Z:${work//\//\\}\\$name.bat"
}
wizpak_refuses renamed verify Renamed.exe || { echo "wine.cli: wizpak.exe verified a package whose directory was changed" >&2; exit 1; }
grep -q 'do not match the directory digest' "$work/renamed.err"
echo "wine.cli: wizpak.exe refuses a changed directory by its digest"
# A link planted inside the extraction folder (a reparse point to Windows)
# never leads a write out of it.
mkdir -p "$work/outside" "$work/linked/group1"
echo 'keep me' >"$work/outside/changes.txt"
ln -s "$work/outside" "$work/linked/group1/docs"
wizpak_refuses linked extract DemoSetup.exe linked || { echo "wine.cli: wizpak.exe extracted through a link" >&2; exit 1; }
[ "$(cat "$work/outside/changes.txt")" = 'keep me' ] || { echo "wine.cli: a file outside was overwritten" >&2; exit 1; }
grep -q 'passes through a link (681)' "$work/linked.err"
echo "wine.cli: wizpak.exe refuses to write through a link in its target folder"
if [ -x "$host_wizpak" ]; then
  # The same addition on Linux gives the same container, digest included
  # (CryptoAPI's MD5 under Wine, libmd's on Linux).
  "$host_wizpak" vfs add "$work/linux.vfs" 'maps\desert\b.dat' "$examples/files/data.bin" >/dev/null
  cmp "$work/game.vfs" "$work/linux.vfs"
  # Finished updates leave no undo journal beside the file.
  [ ! -e "$work/game.vfs.undo" ] && [ ! -e "$work/game.zup.undo" ]
  "$host_wizpak" vfs check "$work/game.vfs"
  "$host_wizpak" vfs cat "$work/game.vfs" 'maps\desert\b.dat' | cmp - "$examples/files/data.bin"
  echo "wine.cli: wizpak.exe vfs add and the Linux wizpak give the same container"
  cmp "$work/cut.vfs" "$work/cut.vfs.before"
  [ ! -e "$work/cut.vfs.undo" ]
  grep -q 'put back as it was before an interrupted update' "$work/cut.out"
  echo "wine.cli: wizpak.exe puts back a container from its undo journal"
  # The archive wizpak.exe updated reads back on Linux: the unchanged readme
  # was not written again, the new member is there, the flag is set.
  listing=$("$host_wizpak" archive ls "$work/game.zup")
  grep -q 'official: yes' <<<"$listing"
  grep -q 'password: set' <<<"$listing"
  [ "$(grep -c ' Docs\\Readme.txt$' <<<"$listing")" = 1 ]
  grep -Eq '^2 [0-9]+ [0-9]+ 0 [0-9-]+ Docs\\Readme.txt$' <<<"$listing"  # still at offset 0
  "$host_wizpak" archive cat "$work/game.zup" 'data\data.bin' | cmp - "$examples/files/data.bin"
  cmp "$work/data.bin.out" "$examples/files/data.bin"
  echo "wine.cli: wizpak.exe archive add updates an archive the Linux wizpak reads back"
  # Under the same name: the version resource holds the output's name.
  mkdir -p "$work/host"
  "$host_wizpak" build "$examples/setup.wps" -o "$work/host/DemoSetup.exe" --stub "$work/wizpak-stub.exe" \
    --data "$work/data" >/dev/null
  cmp "$work/DemoSetup.exe" "$work/host/DemoSetup.exe"
  echo "wine.cli: wizpak.exe and the Linux wizpak build the same DemoSetup.exe"
fi
echo "wine.cli: packed, listed, verified and extracted with wizpak.exe"
