#!/usr/bin/env bash
# Runs one fuzz target for SECONDS seconds: scripts/fuzz.sh TARGET SECONDS [JOBS]
# Targets: package setupinfo complines installlog language script vfs undo archive jpeg
# layout pageset bitmap signed metafile.
# Builds build/fuzz with clang (libFuzzer, AddressSanitizer, UndefinedBehavior-
# Sanitizer; clang is installed with apt-get when missing). New inputs collect
# in build/fuzz/corpus-TARGET, crashes in build/fuzz/crashes-TARGET; a crash
# worth keeping goes into fuzz/corpus/TARGET, which the tests replay. An input
# that takes over a second or 512 MB counts as a finding, as a crash does.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ] || [ "$1" = --help ]; then
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  [ "${1:-}" = --help ] && exit 0 || exit 2
fi
target=$1
seconds=$2
if [ ! -d "$here/fuzz/corpus/$target" ]; then
  echo "fuzz.sh: no target '$target' (no fuzz/corpus/$target)" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang >/dev/null
fi
dir="$here/build/fuzz"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIZPAK_FUZZ=ON \
    -DWIZPAK_TESTS=OFF >/dev/null
fi
cmake --build "$dir" -j "${JOBS:-2}" --target "wizpak-fuzz-$target"
mkdir -p "$dir/corpus-$target" "$dir/crashes-$target"
# The targets that read files write each input first: into memory where
# there is a memory file system.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
cd "$dir"
exec "$dir/bin/wizpak-fuzz-$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=1 -rss_limit_mb=512 \
  -artifact_prefix="$dir/crashes-$target/" "$dir/corpus-$target" "$here/fuzz/corpus/$target"
