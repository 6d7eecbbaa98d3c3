#!/usr/bin/env bash
# The main job: build everything, then compile the demo setup script into
# DemoSetup.exe (the Windows stub with its package), dump it and verify it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/bootstrap.sh"
"$here/scripts/build.sh" host win32
wizpak="$here/build/host/bin/wizpak"
out="$here/build/demo"
rm -rf "$out"
mkdir -p "$out"
"$wizpak" build "$here/examples/demo/setup.wps" -o "$out/DemoSetup.exe" \
  --stub "$here/build/win32/bin/wizpak-stub.exe"
"$wizpak" dump "$out/DemoSetup.exe"
"$wizpak" list "$out/DemoSetup.exe"
"$wizpak" verify "$out/DemoSetup.exe"
echo "DemoSetup.exe built and verified: $out/DemoSetup.exe"
