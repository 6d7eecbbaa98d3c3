#!/usr/bin/env bash
# Installs everything the two builds and the tests need, from Debian's packages only.
# Idempotent: a second run on a prepared machine does nothing but check.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libgtest-dev libmd-dev python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb xauth xdotool imagemagick osslsigncode openssl clang-format
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The Windows build takes libjpeg-turbo and zlib from Debian's own source packages.
src_list=/etc/apt/sources.list.d/wizpak-src.sources
need_src=0
[ -f "$src_list" ] || need_src=1

if [ "${#missing[@]}" -gt 0 ] || [ "$need_src" = 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  if [ "$need_src" = 1 ]; then
    # Mirror every configured binary suite as a deb-src entry.
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      [ "$f" = "$src_list" ] && continue
      awk 'BEGIN{RS="";ORS="\n\n"} /Types:[^\n]*deb/ && /debian/ {sub(/Types:[^\n]*/,"Types: deb-src"); print}' "$f" >>"$tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb [^[]*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"${src_list%.sources}.list" || true
    fi
    $sudo install -m 644 "$tmp" "$src_list"
    rm -f "$tmp"
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails an index now and then: try again, and go
  # on with the indexes there are when it keeps failing (the install says
  # what it cannot find).
  for attempt in 1 2 3; do
    $sudo apt-get update -q && break
    echo "bootstrap: apt-get update failed (attempt $attempt)" >&2
    sleep 10
  done
  if [ "${#missing[@]}" -gt 0 ] && ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    # Without a whole i386 index (a mirror mid-sync) the 32-bit Wine cannot be
    # resolved: install the rest, and the test run says it could not run the
    # 32-bit Wine suites.
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ "${#rest[@]}" -lt "${#missing[@]}" ] || exit 1
    echo "bootstrap: wine32:i386 cannot be installed now; installing the rest without it" >&2
    [ "${#rest[@]}" -eq 0 ] || $sudo apt-get install -y -q --no-install-recommends "${rest[@]}"
  fi
fi

# libjpeg-turbo and zlib for both Windows widths: cross-built once into
# build/deps, reused afterwards.
"$here/scripts/build-libjpeg-windows.sh" 32
"$here/scripts/build-libjpeg-windows.sh" 64
"$here/scripts/build-zlib-windows.sh" 32
"$here/scripts/build-zlib-windows.sh" 64
