#!/usr/bin/env bash
# A setup using every file-system, registry, shortcut and message command,
# installed and uninstalled for real under Wine, its wizard clicked through.
set -euo pipefail
wizpak=$1
stub=$2
fixture=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/wizpak-wine-commands-XXXXXX)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
"$wizpak" build "$fixture/setup.wps" -o "$work/CommandsSetup.exe" --stub "$stub" >/dev/null
wizard_start setup "$work/CommandsSetup.exe"
for button in next next next cancel; do wizard_click $button; done
wizard_finish
[ "$wizard_status" = 0 ] || { echo "commands-wine: the setup exited $wizard_status" >&2; exit 1; }
inst="$WINEPREFIX/drive_c/Program Files/Commands Test"
fail() { echo "commands-wine: $*" >&2; exit 1; }
[ -f "$inst/keep.txt" ] || fail "keep.txt missing"
[ -f "$inst/new.txt" ] && [ ! -e "$inst/old.txt" ] || fail "rename"
[ ! -e "$inst/remove.txt" ] || fail "delete"
[ ! -e "$inst/tree" ] || fail "rmdir"
[ -d "$inst/empty" ] || fail "createdirectory"
grep -q ran "$WINEPREFIX/drive_c/wizpak-executed.txt" || fail "execute"
query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }
query 'HKLM\SOFTWARE\Commands Test' /v InstallPath | grep -q 'C:\\Program Files\\Commands Test' || fail "writeregstr"
if query 'HKLM\SOFTWARE\Commands Test' /v Broken | grep -q Broken; then fail "iffileexists did not jump"; fi
query 'HKCR\wizpaktest' /ve | grep -q 'URL:wizpaktest Protocol' || fail "URL protocol default value"
query 'HKCR\wizpaktest' /v 'URL Protocol' | grep -q 'URL Protocol' || fail "URL Protocol value"
query 'HKCR\wizpaktest\DefaultIcon' /ve | grep -q 'keep.txt' || fail "DefaultIcon"
query 'HKCR\wizpaktest\shell\open\command' /ve | grep -qF '"C:\Program Files\Commands Test\game.exe" "-connect" "%1"' ||
  fail "command line: $(query 'HKCR\wizpaktest\shell\open\command' /ve)"
link=$(find "$WINEPREFIX/drive_c/users" -name 'Keep.lnk' | head -n 1)
[ -n "$link" ] || fail "no shortcut"
echo "commands-wine: every command had its effect"

wizard_start uninstall 'C:\Program Files\Commands Test\Uninstall.exe'
for button in next next cancel; do wizard_click $button; done
wizard_finish
[ "$wizard_status" = 0 ] || { echo "commands-wine: the uninstaller exited $wizard_status" >&2; exit 1; }
for _ in $(seq 1 50); do
  [ -e "$inst/Uninstall.exe" ] || break
  sleep 0.2
done
wineserver -w
# "rename" records nothing, so the renamed file is the one thing the log does
# not list: it stays, and with it the folder.
left=$(cd "$inst" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./new.txt " ] || fail "left behind after uninstall: $left"
[ ! -e "$link" ] || fail "shortcut left"
if query 'HKLM\SOFTWARE\Commands Test' /v InstallPath | grep -q InstallPath; then fail "InstallPath left"; fi
if query 'HKCR\wizpaktest\shell\open\command' /ve | grep -q game.exe; then fail "URL command left"; fi
echo "commands-wine: uninstalled"
