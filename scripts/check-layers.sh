#!/usr/bin/env bash
# Fails when a layer includes a layer above it, or when code outside
# platform/ includes an operating system's headers.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

# Each layer and the layers it may include: itself and everything below it,
# from layers.txt (the build reads the same file).
declare -A deps=() allowed=()
while IFS= read -r line; do
  [[ $line =~ ^([a-z]+):(.*)$ ]] || continue
  deps[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
done <"$here/layers.txt"
closure() {
  local layer=$1 below
  echo "$layer"
  for below in ${deps[$layer]}; do closure "$below"; done
}
for layer in "${!deps[@]}"; do
  allowed[$layer]=$(closure "$layer" | sort -u | tr '\n' ' ')
done
layers=" ${!allowed[*]} "
status=0
for layer in "${!allowed[@]}"; do
  [ -d "$layer" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
    [[ $layers == *" $target "* ]] || continue
    if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
      echo "$file: $layer/ must not include $target/ ($line)"
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z]+/' "$layer" --include='*.h' --include='*.cpp' | sed -E 's/^([^:]+):[0-9]+:/\1:/')
  if [ "$layer" != platform ]; then
    if grep -rnE '^#include <(windows|winbase|winreg|shlobj|objbase|unistd|fcntl|dirent|pthread)\.h>|^#include <sys/' \
        "$layer" --include='*.h' --include='*.cpp'; then
      echo "$layer/: only platform/ may include operating-system headers"
      status=1
    fi
  fi
done
grep -rlE '^#include <windows\.h>' platform --include='*.h' --include='*.cpp' | grep -v '^platform/win32/' && {
  echo "only platform/win32/ may include <windows.h>"
  status=1
}
[ $status = 0 ] && echo "layers: ok"
exit $status
