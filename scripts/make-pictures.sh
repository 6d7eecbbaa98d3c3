#!/usr/bin/env bash
# Redraws the pictures of the default page sets (Side.jpg, icon.ico).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" host
"$here/build/host/bin/wizpak-make-pictures" "$here/data/layout/install" "$here/data/layout/uninstall"
