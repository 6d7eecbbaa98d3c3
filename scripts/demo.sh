#!/usr/bin/env bash
# The main job: build, then pack the example files behind the Windows stub,
# list the setup, verify it and extract it again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/bootstrap.sh"
"$here/scripts/build.sh" host win32
wizpak="$here/build/host/bin/wizpak"
out="$here/build/demo"
rm -rf "$out"
mkdir -p "$out"
"$wizpak" pack "$out/DemoSetup.exe" --stub "$here/build/win32/bin/wizpak-stub.exe" "$here/examples/files"
"$wizpak" list "$out/DemoSetup.exe"
"$wizpak" verify "$out/DemoSetup.exe"
"$wizpak" extract "$out/DemoSetup.exe" "$out/extracted" --group 1
diff -r "$here/examples/files" "$out/extracted"
echo "DemoSetup.exe packed, verified and extracted: $out"
