#!/usr/bin/env bash
# Everything on a fresh Debian machine: install, build all configurations, run
# every test label (unit, e2e, wine) and the sanitizer runs of the host tests.
# The Windows tests run with the 64-bit build under 64-bit Wine on every
# x86-64 host, and with the 32-bit build as well where the kernel can execute
# 32-bit programs (WIZPAK_SKIP_WIN32_EXEC=1 acts as if it could not).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/bootstrap.sh"

# One probe: the 32-bit Wine loader is itself a 32-bit Linux program.
run32=1
why32=""
if [ "${WIZPAK_SKIP_WIN32_EXEC:-0}" = 1 ]; then
  run32=0
  why32="WIZPAK_SKIP_WIN32_EXEC=1 is set"
elif [ ! -e /usr/lib/wine/wine ]; then
  run32=0
  why32="the 32-bit Wine (wine32:i386) is not installed: scripts/bootstrap.sh could not install it"
elif ! probe=$(/usr/lib/wine/wine --version 2>&1); then
  run32=0
  why32="this kernel cannot execute 32-bit programs (/usr/lib/wine/wine --version: $(tail -n 1 <<<"$probe"))"
fi

configs=(host win32 win64 win64-tests asan tsan)
[ "$run32" = 1 ] && configs=(host win32 win32-tests win64 win64-tests asan tsan)
"$here/scripts/build.sh" "${configs[@]}"

status=0
run_ctest() {
  local config=$1 what=$2
  shift 2
  echo "== tests: $config ($what)"
  (cd "$here/build/$config" && ctest --output-on-failure -j 2 --timeout 1200 "$@") || status=1
}
run_ctest host "Linux, emulated machine" -LE tsan
run_ctest asan "AddressSanitizer and UndefinedBehaviorSanitizer" -LE tsan
if [ "$run32" = 1 ]; then
  run_ctest win32 "32-bit Windows programs: PE check, Wine suites under 32-bit Wine" -LE tsan
  run_ctest win32-tests "32-bit unit tests under 32-bit Wine" -LE tsan
else
  echo "== 32-bit Wine suites skipped: $why32; the shipped 32-bit programs are checked without running them, the Wine suites run in 64-bit only"
  run_ctest win32 "32-bit Windows programs: PE check only" -LE 'tsan|wine'
fi
run_ctest win64 "64-bit Windows programs: Wine suites under 64-bit Wine" -LE tsan
run_ctest win64-tests "64-bit unit tests under 64-bit Wine" -LE tsan

echo "== tests: tsan (ThreadSanitizer)"
# ThreadSanitizer needs the address layout it knows; without randomisation it
# runs on kernels with more random bits too.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
(cd "$here/build/tsan" && "${norandom[@]}" ctest --output-on-failure --timeout 1200 -L tsan) || status=1
exit $status
