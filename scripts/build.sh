#!/usr/bin/env bash
# Builds the configurations: host (Linux programs in build/host/bin), win32
# (the shipped 32-bit Windows programs in build/win32/bin), win32-tests (the
# unit tests for Wine, in the compiler's posix thread model), win64 and
# win64-tests (the same for 64-bit Windows, run under 64-bit Wine), asan (host
# tests under AddressSanitizer and UndefinedBehaviorSanitizer) and tsan (the
# threaded tests under ThreadSanitizer). Pass names to build fewer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host win32 win32-tests win64 win64-tests asan tsan)

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

for config in "${configs[@]}"; do
  dir="$here/build/$config"
  case "$config" in
    host) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    win32 | win64)
      width=${config#win}
      toolchain=mingw-w64-i686.cmake
      [ "$width" = 64 ] && toolchain=mingw-w64-x86_64.cmake
      "$here/scripts/build-libjpeg-windows.sh" "$width"
      "$here/scripts/build-zlib-windows.sh" "$width"
      "$here/scripts/build-libdeflate-windows.sh" "$width"
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain") ;;
    win32-tests | win64-tests)
      width=${config#win}
      width=${width%-tests}
      toolchain=mingw-w64-i686-posix.cmake
      [ "$width" = 64 ] && toolchain=mingw-w64-x86_64-posix.cmake
      "$here/scripts/build-libjpeg-windows.sh" "$width"
      "$here/scripts/build-zlib-windows.sh" "$width"
      "$here/scripts/build-libdeflate-windows.sh" "$width"
      args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain"
            -DWIZPAK_WINE_UNIT_TESTS=ON) ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DWIZPAK_SANITIZE=ON) ;;
    tsan) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIZPAK_SANITIZE_THREAD=ON) ;;
    *) echo "unknown configuration: $config (host, win32, win32-tests, win64, win64-tests, asan or tsan)" >&2; exit 2 ;;
  esac
  # A configure that failed half-way leaves a cache without a build file:
  # start that folder afresh.
  if [ -f "$dir/CMakeCache.txt" ] && [ ! -f "$dir/build.ninja" ] && [ ! -f "$dir/Makefile" ]; then
    rm -rf "$dir"
  fi
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$dir" "${generator[@]}" "${args[@]}"
  fi
  cmake --build "$dir" -j "$jobs"
done
