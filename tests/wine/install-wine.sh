#!/usr/bin/env bash
# The demo setup for real under Wine, clicked through as a person would:
# DemoSetup.exe (the Windows stub with its package) shows its wizard, Next,
# Next, Install and Finish are clicked, each page's UI dump is held against
# the host's for the same clicks and a screenshot of each page is kept; the
# files, the registry values (wine reg query) and the shortcut are checked;
# then the uninstaller's pages are clicked through, it removes everything and
# its finaliser removes the uninstaller and the emptied folder.
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
work=$(mktemp -d /tmp/wizpak-wine-install-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
shots=${WIZPAK_WINE_SHOTS:-}
"$wizpak" build "$demo/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" >/dev/null

# The same setup and the same clicks on the host's headless wizard.
host_run="$(dirname "$wizpak")/wizpak-run"
host_dump() {
  local name=$1
  shift
  WIZPAK_HOST_ROOT="$work/host-machine" WIZPAK_UI_DUMP="$work/host-$name.jsonl" "$host_run" "$@" >/dev/null
}

wizard_start setup "$work/DemoSetup.exe"
wizard_click next  # the change log
wizard_click next  # the install directory
wizard_click next  # the install page
wizard_click next  # Install: the run, then the finish page
wizard_click cancel  # Finish
wizard_finish
[ "$wizard_status" = 0 ] || { echo "install-wine: the setup exited $wizard_status" >&2; exit 1; }
host_dump setup "$work/DemoSetup.exe"
python3 "$here/compare-dumps.py" "$work/host-setup.jsonl" "$work/setup.jsonl"
inst="$WINEPREFIX/drive_c/Program Files/Demo Game"
for f in readme.txt demo.ini data.bin docs/changes.txt; do
  cmp "$demo/files/$f" "$inst/$f"
done
[ -f "$inst/Demo_install.log" ] && [ -f "$inst/Demo_Uninstall.exe" ]
wine reg query 'HKLM\SOFTWARE\Demo Game' /v InstallPath | grep -q 'C:\\Program Files\\Demo Game'
# The program's own registry view: a 32-bit program in a 32-bit prefix and a
# 64-bit program in a 64-bit prefix both write HKLM\SOFTWARE itself; nothing
# may land in the 32-bit view of a 64-bit Windows.
if [ "$wine_width" = 64 ] && wine reg query 'HKLM\SOFTWARE\Wow6432Node\Demo Game' >/dev/null 2>&1; then
  echo "install-wine: the 64-bit setup wrote under Wow6432Node" >&2
  exit 1
fi
wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Demo Game' /v UninstallString |
  grep -q 'Demo_Uninstall.exe'
# The install log's digest, which the uninstaller checks before it believes the log.
wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Demo Game' /v InstallLogDigest |
  grep -Eq "$(sha256sum "$inst/Demo_install.log" | cut -c1-64)"
link=$(find "$WINEPREFIX/drive_c/users" -name 'Read Me.lnk' | head -n 1)
[ -n "$link" ] || { echo "install-wine: no shortcut" >&2; exit 1; }
echo "install-wine: installed, registry and shortcut checked"

wizard_start uninstall 'C:\Program Files\Demo Game\Demo_Uninstall.exe'
wizard_click next
wizard_click next  # Uninstall: the removal, then the finish page
wizard_click cancel  # Finish: the finaliser starts
wizard_finish
[ "$wizard_status" = 0 ] || { echo "install-wine: the uninstaller exited $wizard_status" >&2; exit 1; }
host_dump uninstall 'C:\Program Files\Demo Game\Demo_Uninstall.exe'
python3 "$here/compare-dumps.py" "$work/host-uninstall.jsonl" "$work/uninstall.jsonl"
# The finaliser waits for the uninstaller to end, then removes it.
for _ in $(seq 1 50); do
  [ -e "$inst" ] || break
  sleep 0.2
done
wineserver -w
if [ -e "$inst" ]; then
  echo "install-wine: left behind:" >&2
  find "$inst" >&2
  exit 1
fi
[ ! -e "$link" ]
if wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Demo Game' >/dev/null 2>&1; then
  echo "install-wine: the Uninstall key is still there" >&2
  exit 1
fi
if wine reg query 'HKLM\SOFTWARE\Demo Game' /v InstallPath >/dev/null 2>&1; then
  echo "install-wine: InstallPath is still there" >&2
  exit 1
fi
echo "install-wine: uninstalled, nothing left"
