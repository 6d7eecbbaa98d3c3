#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in a fresh 32-bit prefix,
# headless, and passes its exit status on.
set -euo pipefail
exe=$1
shift
command -v wine >/dev/null || { echo "wine is not installed: run scripts/bootstrap.sh" >&2; exit 1; }
prefix=$(mktemp -d /tmp/wizpak-wine-XXXXXX)
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=en_US.UTF-8
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  runner=(xvfb-run -a)
else
  runner=()
fi
"${runner[@]}" bash -c 'wineboot -i >/dev/null 2>&1; wineserver -w; wine "$@"' _ "$exe" "$@"
