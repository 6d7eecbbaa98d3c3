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
echo done > done.txt
BAT
"$here/run-wine.sh" cmd /c "Z:${work//\//\\}\\run.bat"
[ -f "$work/done.txt" ] || { echo "wine.cli: the batch file stopped early" >&2; exit 1; }
diff -r "$examples/files" "$work/out"
head -c 2 "$work/Setup.exe" | grep -q MZ
host_wizpak="$here/../../build/host/bin/wizpak"
if [ -x "$host_wizpak" ]; then
  "$host_wizpak" build "$examples/setup.wps" -o "$work/HostDemoSetup.exe" --stub "$work/wizpak-stub.exe" \
    --data "$work/data" >/dev/null
  cmp "$work/DemoSetup.exe" "$work/HostDemoSetup.exe"
  echo "wine.cli: wizpak.exe and the Linux wizpak build the same DemoSetup.exe"
fi
echo "wine.cli: packed, listed, verified and extracted with wizpak.exe"
