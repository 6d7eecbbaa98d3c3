#!/usr/bin/env bash
# Builds the configurations: host (Linux programs in build/host/bin), win32
# (Windows programs in build/win32/bin), win32-tests (the unit tests for Wine,
# in the compiler's posix thread model), asan (host tests under
# AddressSanitizer and UndefinedBehaviorSanitizer) and tsan (the threaded
# tests under ThreadSanitizer). Pass names to build fewer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host win32 win32-tests asan tsan)

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

for config in "${configs[@]}"; do
  dir="$here/build/$config"
  case "$config" in
    host) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    win32)
      "$here/scripts/build-libjpeg-win32.sh"
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-i686.cmake") ;;
    win32-tests)
      "$here/scripts/build-libjpeg-win32.sh"
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-i686-posix.cmake"
            -DWIZPAK_WINE_UNIT_TESTS=ON) ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DWIZPAK_SANITIZE=ON) ;;
    tsan) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIZPAK_SANITIZE_THREAD=ON) ;;
    *) echo "unknown configuration: $config (host, win32, win32-tests, asan or tsan)" >&2; exit 2 ;;
  esac
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$dir" "${generator[@]}" "${args[@]}"
  fi
  cmake --build "$dir" -j "$jobs"
done
