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
# An entry that cannot be written is named, and the command fails: here a
# file stands where the folder "docs" must go.
mkdir -p "$work/blocked"
touch "$work/blocked/docs"
if "$wizpak" extract "$work/Setup.exe" "$work/blocked" --group 1 >"$work/blocked.out" 2>"$work/blocked.err"; then
  echo "extract reported success with an entry it could not write" >&2
  exit 1
fi
grep -q 'could not write .*docs.changes.txt' "$work/blocked.err" || { cat "$work/blocked.err" >&2; exit 1; }
grep -q '3 entries extracted into .*, 1 could not be written' "$work/blocked.out" || { cat "$work/blocked.out" >&2; exit 1; }
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
