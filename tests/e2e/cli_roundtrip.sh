#!/usr/bin/env bash
# wizpak pack / list / verify / extract on the example files, natively.
set -euo pipefail
wizpak=$1
examples=$2
work=$(mktemp -d /tmp/wizpak-e2e-XXXXXX)
trap 'rm -rf "$work"' EXIT
printf 'MZ-not-a-real-stub' >"$work/stub.exe"
"$wizpak" pack "$work/Setup.exe" --stub "$work/stub.exe" "$examples/files"
"$wizpak" list "$work/Setup.exe"
"$wizpak" verify "$work/Setup.exe"
"$wizpak" extract "$work/Setup.exe" "$work/out" --group 1
diff -r "$examples/files" "$work/out"
# One changed byte in the entry data is caught.
python3 - "$work/Setup.exe" <<'PY'
import sys
p = sys.argv[1]
b = bytearray(open(p, 'rb').read())
b[20] ^= 0xFF
open(p, 'wb').write(b)
PY
if "$wizpak" verify "$work/Setup.exe"; then echo "damaged package passed verification" >&2; exit 1; fi
echo "e2e.cli_roundtrip: ok"
