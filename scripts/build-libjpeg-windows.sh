#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (static, no SIMD) from Debian's source package into
# build/deps/libjpeg-win32 (WIDTH 32, the default) or build/deps/libjpeg-win64
# (WIDTH 64). A finished prefix built with the same flags is reused.
#
# Built for a setup's size: NO_GETENV drops the JPEGMEM lookup (and with it
# sscanf, 100 KB of MinGW's scanf and float parsing), and the library's error
# texts are formatted by the system's msvcrt instead of MinGW's own printf.
set -euo pipefail

width=${1:-32}
case "$width" in
  32) toolchain=mingw-w64-i686.cmake ;;
  64) toolchain=mingw-w64-x86_64.cmake ;;
  *) echo "usage: build-libjpeg-windows.sh [32|64]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$here/build/deps/libjpeg-win$width"
flags="-DNO_GETENV -D__USE_MINGW_ANSI_STDIO=0"
if [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$prefix/wizpak-flags" 2>/dev/null)" = "$flags" ]; then exit 0; fi
rm -rf "$prefix"

work="$here/build/deps/src-win$width"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
apt-get source -q --download-only libjpeg-turbo >/dev/null 2>&1 || apt-get source -q --download-only libjpeg-turbo
dpkg-source --no-check -x libjpeg-turbo_*.dsc libjpeg-turbo >/dev/null
cmake -S libjpeg-turbo -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  -DWITH_JPEG8=OFF -DCMAKE_C_FLAGS="$flags" -Wno-dev >/dev/null
cmake --build build -j2 >/dev/null
cmake --install build >/dev/null
printf '%s' "$flags" >"$prefix/wizpak-flags"
rm -rf "$work"
echo "libjpeg-turbo for win$width installed in $prefix"
