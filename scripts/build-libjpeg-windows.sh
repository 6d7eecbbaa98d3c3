#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (static, no SIMD) from Debian's source package into
# build/deps/libjpeg-win32 (WIDTH 32, the default) or build/deps/libjpeg-win64
# (WIDTH 64). A finished prefix built with the same flags is reused.
#
# The Windows programs decode pictures with the system's own decoder; this
# library is the encoder of the Windows test programs, which write the JPEG
# pictures they then read back through that decoder. It keeps the trimming
# it had when setups carried it: NO_GETENV drops the JPEGMEM lookup (and with it
# sscanf, 100 KB of MinGW's scanf and float parsing), and the library's error
# texts are formatted by the system's msvcrt instead of MinGW's own printf.
# The code is optimised for size, one section per function, and the paths a
# setup never takes are configured out: arithmetic coding, colour
# quantisation, merged upsampling, scaled output, the legacy fast and
# floating-point DCTs (pictures are decoded at their size with the accurate
# integer DCT, and encoded with it), the smoothing of a progressive picture
# shown before its last scan (pictures are decoded whole) and the saving of
# application markers. Baseline and progressive JPEG both stay.
# In 32-bit code the library carries no unwind tables: nothing is unwound
# through it (its errors end in a longjmp, which on x86 needs none).
set -euo pipefail

width=${1:-32}
case "$width" in
  32) toolchain=mingw-w64-i686.cmake ;;
  64) toolchain=mingw-w64-x86_64.cmake ;;
  *) echo "usage: build-libjpeg-windows.sh [32|64]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$here/build/deps/libjpeg-win$width"
flags="-Oz -DNDEBUG -ffunction-sections -fdata-sections -DNO_GETENV -D__USE_MINGW_ANSI_STDIO=0"
[ "$width" = 32 ] && flags="$flags -fno-asynchronous-unwind-tables"
features="arith quant merge idct-scaling fast-dcts smoothing markers"
stamp="$flags; without $features"
if [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$prefix/wizpak-flags" 2>/dev/null)" = "$stamp" ]; then exit 0; fi
rm -rf "$prefix"

work="$here/build/deps/src-win$width"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# shellcheck source=debian-source.sh
. "$here/scripts/debian-source.sh"
fetch_debian_source libjpeg-turbo || { echo "build-libjpeg-windows.sh: no libjpeg-turbo source on the mirror" >&2; exit 1; }
# The decoder's and encoder's optional paths, switched off in the library's
# own configuration header (installed with it, so users see the same).
sed -i -E 's/^#define (DCT_IFAST_SUPPORTED|DCT_FLOAT_SUPPORTED|IDCT_SCALING_SUPPORTED|UPSAMPLE_MERGING_SUPPORTED|QUANT_1PASS_SUPPORTED|QUANT_2PASS_SUPPORTED|BLOCK_SMOOTHING_SUPPORTED|SAVE_MARKERS_SUPPORTED)\b/#undef \1/' \
  libjpeg-turbo/jmorecfg.h
[ "$(grep -cE '^#undef (DCT_IFAST|DCT_FLOAT|IDCT_SCALING|UPSAMPLE_MERGING|QUANT_1PASS|QUANT_2PASS|BLOCK_SMOOTHING|SAVE_MARKERS)_SUPPORTED' libjpeg-turbo/jmorecfg.h)" = 8 ] ||
  { echo "build-libjpeg-windows.sh: jmorecfg.h is not laid out as expected" >&2; exit 1; }
cmake -S libjpeg-turbo -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  -DWITH_ARITH_DEC=OFF -DWITH_ARITH_ENC=OFF \
  -DWITH_JPEG8=OFF -DCMAKE_C_FLAGS="$flags" -Wno-dev >/dev/null
cmake --build build -j2 >/dev/null
cmake --install build >/dev/null
printf '%s' "$stamp" >"$prefix/wizpak-flags"
rm -rf "$work"
echo "libjpeg-turbo for win$width installed in $prefix"
