#!/usr/bin/env bash
# The demo setup unattended under Wine, as a package manager runs it:
# `DemoSetup.exe /S /LOG=... /D=C:\Games\Demo Game` (the directory unquoted,
# blanks and all) installs without a window, exits 0 and writes its log; the
# Uninstall key carries every value (wine reg query); the uninstaller's /S
# removes everything and its finaliser the uninstaller. A drive that does not
# exist ends with 5, a corrupt setup with 1, and neither shows a box (a box
# would hold the program until the time limit).
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
work=$(mktemp -d /tmp/wizpak-wine-unattended-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
fail() { echo "unattended-wine: $*" >&2; exit 1; }
"$wizpak" build "$demo/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" >/dev/null

# Runs a Windows program with a time limit; its exit status in $status.
run_status() {
  status=0
  timeout 120 "$wine_loader" "$@" >/dev/null 2>&1 || status=$?
  wineserver -w
}

run_status "$work/DemoSetup.exe" /S '/LOG=C:\setup.log' '/D=C:\Games\Demo' Game
[ "$status" = 0 ] || fail "the setup exited $status"
inst="$WINEPREFIX/drive_c/Games/Demo Game"
for f in readme.txt demo.ini data.bin docs/changes.txt; do
  cmp "$demo/files/$f" "$inst/$f"
done
log="$WINEPREFIX/drive_c/setup.log"
grep -q $'^Install directory: C:\\\\Games\\\\Demo Game\r$' "$log" || fail "no install directory in the log"
grep -q $'^File: C:\\\\Games\\\\Demo Game\\\\readme.txt\r$' "$log" || fail "no readme.txt in the log"
grep -q $'^End: exit code 0\r$' "$log" || fail "the log does not end with exit code 0"

key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Demo Game'
value() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | grep -i "^ *$1 " | sed -E 's/^ *[^ ]+ +([^ ]+) +(.*)$/\1 \2/'; }
[ "$(value DisplayName)" = 'REG_SZ Demo Game' ] || fail "DisplayName: $(value DisplayName)"
[ "$(value UninstallString)" = 'REG_SZ "C:\Games\Demo Game\Demo_Uninstall.exe"' ] ||
  fail "UninstallString: $(value UninstallString)"
[ "$(value QuietUninstallString)" = 'REG_SZ "C:\Games\Demo Game\Demo_Uninstall.exe" /S' ] ||
  fail "QuietUninstallString: $(value QuietUninstallString)"
[ "$(value InstallLocation)" = 'REG_SZ C:\Games\Demo Game' ] || fail "InstallLocation: $(value InstallLocation)"
[ "$(value DisplayVersion)" = 'REG_SZ 1.0' ] || fail "DisplayVersion: $(value DisplayVersion)"
[ "$(value Publisher)" = 'REG_SZ Demo Works' ] || fail "Publisher: $(value Publisher)"
[ "$(value NoModify)" = 'REG_DWORD 0x1' ] || fail "NoModify: $(value NoModify)"
[ "$(value NoRepair)" = 'REG_DWORD 0x1' ] || fail "NoRepair: $(value NoRepair)"
[[ "$(value EstimatedSize)" =~ ^REG_DWORD\ 0x[0-9a-f]+$ ]] || fail "EstimatedSize: $(value EstimatedSize)"
[[ "$(value InstallDate)" =~ ^REG_SZ\ 20[0-9]{6}$ ]] || fail "InstallDate: $(value InstallDate)"
echo "unattended-wine: installed, log and Uninstall key checked"

# Names the program once wrote to in the user's temporary folder, planted:
# a file under the finaliser's old name and links under the others'. The
# uninstaller writes into a folder of its own, so none is written, followed
# or started.
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
[ -d "$temp" ] || fail "no temporary folder for the Wine user ($temp)"
printf 'planted' >"$temp/FINALISE.exe"
mkdir -p "$work/targets"
for name in SIF.temp icon.ico RETL.temp; do
  printf 'target of %s' "$name" >"$work/targets/$name"
  ln -sf "$work/targets/$name" "$temp/$name"
done

# The uninstaller runs from the install folder, so this wait is its whole run.
run_status 'C:\Games\Demo Game\Demo_Uninstall.exe' /S '/LOG=C:\uninstall.log'
[ "$status" = 0 ] || fail "the uninstaller exited $status"
[ "$(cat "$temp/FINALISE.exe")" = planted ] || fail "the planted FINALISE.exe was written"
for name in SIF.temp icon.ico RETL.temp; do
  [ "$(cat "$work/targets/$name")" = "target of $name" ] || fail "the target of the planted link $name changed"
  [ -L "$temp/$name" ] || fail "the planted link $name was removed"
done
rm -f "$temp/FINALISE.exe" "$temp/SIF.temp" "$temp/icon.ico" "$temp/RETL.temp"
grep -q $'^End: exit code 0\r$' "$WINEPREFIX/drive_c/uninstall.log" || fail "the uninstall log does not end with 0"
for _ in $(seq 1 50); do
  [ -e "$inst" ] || break
  sleep 0.2
done
wineserver -w
[ ! -e "$inst" ] || { find "$inst" >&2; fail "left behind"; }
if wine reg query "$key" >/dev/null 2>&1; then fail "the Uninstall key is still there"; fi
echo "unattended-wine: uninstalled"

# Signed after its build (osslsigncode, a self-signed certificate made here),
# the setup still finds its package and installs.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
  -subj '/CN=wizpak test' >/dev/null 2>&1
mkdir -p "$work/signed"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/DemoSetup.exe" \
  -out "$work/signed/DemoSetup.exe" >/dev/null
run_status "$work/signed/DemoSetup.exe" /S '/D=C:\Signed'
[ "$status" = 0 ] || fail "the signed setup exited $status"
cmp "$demo/files/readme.txt" "$WINEPREFIX/drive_c/Signed/readme.txt"
echo "unattended-wine: a signed setup installed"

# Signed by the build: its uninstaller, made and signed with it, is the one
# installed, and it uninstalls from the folder it runs in.
mkdir -p "$work/built"
"$wizpak" build "$demo/setup.wps" -o "$work/built/DemoSetup.exe" --stub "$stub" \
  --sign-cert "$work/cert.pem" --sign-key "$work/key.pem" >/dev/null
run_status "$work/built/DemoSetup.exe" /S '/D=C:\Built Game'
[ "$status" = 0 ] || fail "the setup signed by the build exited $status"
osslsigncode verify -CAfile "$work/cert.pem" -in "$WINEPREFIX/drive_c/Built Game/Demo_Uninstall.exe" |
  grep -q 'Signature verification: ok' || fail "the installed uninstaller is not signed"
run_status 'C:\Built Game\Demo_Uninstall.exe' /S
[ "$status" = 0 ] || fail "the signed uninstaller exited $status"
for _ in $(seq 1 50); do
  [ -e "$WINEPREFIX/drive_c/Built Game" ] || break
  sleep 0.2
done
[ ! -e "$WINEPREFIX/drive_c/Built Game" ] || { find "$WINEPREFIX/drive_c/Built Game" >&2; fail "the signed uninstaller left files"; }
echo "unattended-wine: a setup signed by the build installed and its signed uninstaller uninstalled"

run_status "$work/DemoSetup.exe" /S '/LOG=C:\nodrive.log' '/D=Q:\Demo Game'
[ "$status" = 5 ] || fail "a setup for a missing drive exited $status, not 5"
grep -q $'^Stopped: the drive of Q:\\\\Demo Game cannot be installed to\r$' "$WINEPREFIX/drive_c/nodrive.log" ||
  fail "the log does not say why it stopped"

python3 - "$work/DemoSetup.exe" "$work/Corrupt.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[-5000] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
PY
run_status "$work/Corrupt.exe" /S '/LOG=C:\corrupt.log'
[ "$status" = 1 ] || fail "a corrupt setup exited $status, not 1"
grep -q 'Verification Failed' "$WINEPREFIX/drive_c/corrupt.log" || fail "the log does not name the failed entry"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Demo Game" ] || fail "a corrupt setup installed something"
echo "unattended-wine: exit codes 5 and 1 checked"
