#!/usr/bin/env bash
# Everything on a fresh Debian machine: install, build all configurations, run
# every test label (unit, e2e, wine) and the sanitizer run of the host tests.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/bootstrap.sh"
"$here/scripts/build.sh"
status=0
for config in host asan win32 win32-tests; do
  echo "== tests: $config"
  (cd "$here/build/$config" && ctest --output-on-failure -j 2 --timeout 1200 -LE tsan) || status=1
done
echo "== tests: tsan"
# ThreadSanitizer needs the address layout it knows; without randomisation it
# runs on kernels with more random bits too.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
(cd "$here/build/tsan" && "${norandom[@]}" ctest --output-on-failure --timeout 1200 -L tsan) || status=1
exit $status
