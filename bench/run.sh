#!/usr/bin/env bash
# Installs what the benchmark needs (the host build, makensis from the nsis
# package, pigz, libdeflate-gzip), then runs bench/bench.py with the arguments given (--small, --pairs N).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v makensis >/dev/null || ! command -v pigz >/dev/null || ! command -v libdeflate-gzip >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nsis pigz libdeflate-tools >/dev/null
fi
"$here/scripts/build.sh" host
exec python3 "$here/bench/bench.py" "$@"
