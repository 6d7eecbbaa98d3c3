#!/usr/bin/env bash
# Cross-builds the compressing half of libdeflate (static) from Debian's
# source package into build/deps/libdeflate-win32 (WIDTH 32, the default) or
# build/deps/libdeflate-win64 (WIDTH 64), for the Windows builder. The Linux
# builder uses Debian's libdeflate-dev of the same version, so both write the
# same bytes. A finished prefix built with the same flags is reused.
set -euo pipefail

width=${1:-32}
case "$width" in
  32) triplet=i686-w64-mingw32 ;;
  64) triplet=x86_64-w64-mingw32 ;;
  *) echo "usage: build-libdeflate-windows.sh [32|64]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
prefix="$here/build/deps/libdeflate-win$width"
flags="-O2 -DNDEBUG -std=c99"
if [ -f "$prefix/lib/libdeflate.a" ] && [ "$(cat "$prefix/wizpak-flags" 2>/dev/null)" = "$flags" ]; then exit 0; fi
rm -rf "$prefix"

work="$here/build/deps/deflatesrc-win$width"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# The version of Debian's libdeflate-dev first, so that the Linux and the
# Windows builder compress alike.
# shellcheck source=debian-source.sh
. "$here/scripts/debian-source.sh"
if ! fetch_debian_source libdeflate $(dpkg-query -W -f='${Version}' libdeflate-dev 2>/dev/null || true); then
  echo "build-libdeflate-windows.sh: no libdeflate source on the mirror (run scripts/bootstrap.sh; deb-src is needed)" >&2
  exit 1
fi
cd libdeflate
objects=()
for source in lib/deflate_compress lib/zlib_compress lib/adler32 lib/utils lib/x86/cpu_features; do
  # shellcheck disable=SC2086
  "$triplet-gcc" $flags -I. -c "$source.c" -o "$(basename "$source").o"
  objects+=("$(basename "$source").o")
done
mkdir -p "$prefix/lib" "$prefix/include"
"$triplet-ar" rcs "$prefix/lib/libdeflate.a" "${objects[@]}"
cp libdeflate.h "$prefix/include/"
printf '%s' "$flags" >"$prefix/wizpak-flags"
cd "$here"
rm -rf "$work"
echo "libdeflate for win$width installed in $prefix"
