#!/usr/bin/env bash
# Runs a Windows program of the build under Wine in a fresh prefix of its
# width (WIZPAK_WINE_WIDTH), headless, and passes its exit status on.
set -euo pipefail
exe=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/wizpak-wine-XXXXXX)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
status=0
wine "$exe" "$@" || status=$?
wineserver -w
exit $status
