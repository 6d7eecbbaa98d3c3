#!/usr/bin/env bash
# Cross-builds zlib (static) from Debian's source package into
# build/deps/zlib-win32 (WIDTH 32, the default) or build/deps/zlib-win64
# (WIDTH 64). A finished prefix built with the same flags is reused.
#
# Debian's prebuilt mingw zlib is optimised for speed (-O2); every setup
# carries zlib, so it is built here for size, one section per function, and
# in 32-bit code without unwind tables (nothing is unwound through it: no
# callback of ours runs inside zlib). The compressed output is the same
# whatever the flags, so packages stay byte for byte those of the Linux
# builder. Nothing here reads or writes gzip files (every stream is a zlib
# stream), so zlib is built without its gzip wrapper (NO_GZIP). When no zlib
# source can be fetched, the build falls back to Debian's prebuilt library
# and says so. The CRC-32 tables are made at the first use (DYNAMIC_CRC_TABLE,
# once and thread-safe with C11 atomics) instead of being carried: 5 KB of
# every 32-bit setup, 9 KB of every 64-bit one. crc32.c is built without data
# sections, since with them GCC writes its zero-filled tables out in full.
set -euo pipefail

width=${1:-32}
case "$width" in
  32) triplet=i686-w64-mingw32 ;;
  64) triplet=x86_64-w64-mingw32 ;;
  *) echo "usage: build-zlib-windows.sh [32|64]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$here/build/deps/zlib-win$width"
flags="-Os -DNDEBUG -DNO_GZIP -DDYNAMIC_CRC_TABLE -ffunction-sections -fdata-sections"
[ "$width" = 32 ] && flags="$flags -fno-asynchronous-unwind-tables"
stamp="$flags (crc32.c without data sections)"
if [ -f "$prefix/lib/libz.a" ] && [ "$(cat "$prefix/wizpak-flags" 2>/dev/null)" = "$stamp" ]; then exit 0; fi
rm -rf "$prefix"

work="$here/build/deps/zsrc-win$width"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# shellcheck source=debian-source.sh
. "$here/scripts/debian-source.sh"
if ! fetch_debian_source zlib; then
  echo "build-zlib-windows.sh: no zlib source on the mirror; using Debian's prebuilt $triplet zlib (optimised for speed, a larger setup)" >&2
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "/usr/$triplet/lib/libz.a" "$prefix/lib/"
  cp "/usr/$triplet/include/zlib.h" "/usr/$triplet/include/zconf.h" "$prefix/include/"
  printf 'prebuilt' >"$prefix/wizpak-flags"
  rm -rf "$work"
  exit 0
fi
cd zlib
objects=()
for source in adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil; do
  source_flags=$flags
  [ "$source" = crc32 ] && source_flags=${flags/ -fdata-sections/}
  # shellcheck disable=SC2086
  "$triplet-gcc" $source_flags -c "$source.c" -o "$source.o"
  objects+=("$source.o")
done
mkdir -p "$prefix/lib" "$prefix/include"
"$triplet-ar" rcs "$prefix/lib/libz.a" "${objects[@]}"
cp zlib.h zconf.h "$prefix/include/"
printf '%s' "$stamp" >"$prefix/wizpak-flags"
cd "$here"
rm -rf "$work"
echo "zlib for win$width installed in $prefix"
