#!/usr/bin/env bash
# Builds the three configurations: host (Linux programs in build/host/bin),
# win32 (Windows programs in build/win32/bin) and asan (host tests under
# AddressSanitizer and UndefinedBehaviorSanitizer). Pass names to build fewer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host win32 asan)

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

for config in "${configs[@]}"; do
  dir="$here/build/$config"
  case "$config" in
    host) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    win32)
      "$here/scripts/build-libjpeg-win32.sh"
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-i686.cmake") ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DWIZPAK_SANITIZE=ON) ;;
    *) echo "unknown configuration: $config (host, win32 or asan)" >&2; exit 2 ;;
  esac
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$dir" "${generator[@]}" "${args[@]}"
  fi
  cmake --build "$dir" -j "$jobs"
done
