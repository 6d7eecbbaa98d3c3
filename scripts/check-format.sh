#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it with the
# checked-in .clang-format. Without arguments: every .cpp and .h of the tree
# (tests/data holds samples, not code). With arguments: those files.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
if ! command -v clang-format >/dev/null; then
  echo "clang-format is missing: run scripts/bootstrap.sh"
  exit 1
fi
if [ $# -gt 0 ]; then
  files=("$@")
elif git -C "$here" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^tests/data/')
else
  mapfile -t files < <(find . -path ./build -prune -o -path ./tests/data -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
status=0
for f in "${files[@]}"; do
  if ! clang-format --style="file:$here/.clang-format" --dry-run --Werror "$f" 2>/dev/null; then
    echo "$f: not formatted (clang-format -i $f)"
    status=1
  fi
done
[ $status = 0 ] && echo "format: ${#files[@]} files ok"
exit $status
