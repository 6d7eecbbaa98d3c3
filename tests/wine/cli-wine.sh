#!/usr/bin/env bash
# The Windows wizpak.exe under Wine: pack the examples behind the real stub,
# list, verify and extract them, and compare with the originals.
set -euo pipefail
wizpak=$1
stub=$2
examples=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/wizpak-wine-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$wizpak" "$stub" "$work/"
cp -r "$examples/files" "$work/files"
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
echo done > done.txt
BAT
"$here/run-wine.sh" cmd /c "Z:${work//\//\\}\\run.bat"
[ -f "$work/done.txt" ] || { echo "wine.cli: the batch file stopped early" >&2; exit 1; }
diff -r "$examples/files" "$work/out"
head -c 2 "$work/Setup.exe" | grep -q MZ
echo "wine.cli: packed, listed, verified and extracted with wizpak.exe"
