#!/usr/bin/env bash
# Files in use under Wine: the demo is installed, then a helper program holds
# its data.bin open without sharing, as a running game holds its files. The
# setup's /S exits 7 and its log names the file, with nothing changed; the
# uninstaller's /S exits 7 and removes nothing. In the wizard, Install shows
# the "Files in use" box; Retry while the file is still held shows it again;
# once the helper has ended, Retry installs and the setup exits 0.
set -euo pipefail
wizpak=$1
stub=$2
hold=$3
demo=$4
work=$(mktemp -d /tmp/wizpak-wine-inuse-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
shots=${WIZPAK_WINE_SHOTS:-}
fail() { echo "inuse-wine: $*" >&2; exit 1; }
"$wizpak" build "$demo/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" >/dev/null
cp "$hold" "$work/hold.exe"
inst="$WINEPREFIX/drive_c/Program Files/Demo Game"

run_status() {
  status=0
  timeout 120 "$wine_loader" "$@" >/dev/null 2>&1 || status=$?
}

run_status "$work/DemoSetup.exe" /S
wineserver -w
[ "$status" = 0 ] || fail "the first install exited $status"
# Changed since, so a run that replaced it would show.
printf 'the game has this open' >"$inst/data.bin"
cp "$inst/data.bin" "$work/held.bin"

# The helper holds data.bin until it is told to go.
marker="$WINEPREFIX/drive_c/hold"
wine "$work/hold.exe" 'C:\Program Files\Demo Game\data.bin' 'C:\hold' >/dev/null 2>&1 &
holder=$!
for _ in $(seq 1 300); do
  [ -e "$marker.reached" ] && break
  kill -0 "$holder" 2>/dev/null || fail "the helper ended before it held the file"
  sleep 0.1
done
[ -e "$marker.reached" ] || fail "the helper did not hold the file"

run_status "$work/DemoSetup.exe" /S '/LOG=C:\inuse.log'
[ "$status" = 7 ] || fail "the setup's /S exited $status with a file in use (7 expected)"
log="$WINEPREFIX/drive_c/inuse.log"
grep -q $'^Files in use: C:\\\\Program Files\\\\Demo Game\\\\data.bin' "$log" || fail "the log does not name the file: $(cat "$log")"
grep -q $'^End: exit code 7\r$' "$log" || fail "the log does not end with exit code 7"
cmp "$work/held.bin" "$inst/data.bin" || fail "the held file was changed"
cmp "$demo/files/readme.txt" "$inst/readme.txt" || fail "readme.txt was changed"
[ ! -e "$inst/Demo_run-journal" ] || fail "a run journal was made"
echo "inuse-wine: /S with a file in use: exit 7, the file named, nothing changed"

run_status 'C:\Program Files\Demo Game\Demo_Uninstall.exe' /S
[ "$status" = 7 ] || fail "the uninstaller's /S exited $status with a file in use (7 expected)"
[ -f "$inst/readme.txt" ] && [ -f "$inst/Demo_install.log" ] || fail "the uninstaller removed files"
echo "inuse-wine: the uninstaller's /S with a file in use: exit 7, nothing removed"

# The wizard: the box, Retry while held, Retry once the helper has gone.
wizard_start inuse "$work/DemoSetup.exe"
wizard_click next  # the change log
wizard_click next  # the install directory
wizard_click next  # the install page
before=$(wizard_lines)
# Clicks Retry (the left of the box's two buttons) on the box now shown.
box_retry() {
  local box
  box=$(xdotool search --sync --onlyvisible --name '^Files in use$' | tail -n 1)
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$box")"
  [ -n "$shots" ] && import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" "$shots/inuse-box-$1.png" 2>/dev/null || true
  xdotool mousemove $((X + WIDTH / 2 - 44)) $((Y + HEIGHT - 24)) click 1
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name '^Files in use$' >/dev/null 2>&1 || return 0
    [ "$(xdotool search --onlyvisible --name '^Files in use$' | tail -n 1)" != "$box" ] && return 0
    sleep 0.1
  done
  fail "the box stayed after Retry"
}
wizard_press next  # Install
box_retry 1
# Still held: the box again, and the wizard still on the install page.
xdotool search --sync --onlyvisible --name '^Files in use$' >/dev/null
[ "$(wizard_lines)" = "$before" ] || fail "the wizard went on with the file still held"
touch "$marker.go"
wait "$holder" || fail "the helper did not end cleanly"
box_retry 2
wizard_wait "$before"
# Up to the finish page.
for _ in $(seq 1 300); do
  [ "$(python3 -c 'import json,sys; print([json.loads(l) for l in open(sys.argv[1])][-1]["type"])' "$wizard_dump")" = finish ] && break
  sleep 0.1
done
sleep 0.5
wizard_shot
boxes=$(python3 -c 'import json,sys; print(sum(len(json.loads(l)["boxes"]) for l in open(sys.argv[1])))' "$wizard_dump")
[ "$boxes" = 2 ] || fail "the dump holds $boxes boxes (2 expected): $(grep -o '"boxes":\[[^]]*\]' "$wizard_dump")"
texts=$(python3 -c 'import json,sys; print([b["text"] for l in open(sys.argv[1]) for b in json.loads(l)["boxes"]])' "$wizard_dump")
case "$texts" in
  *'Setup must change these files, which another program is using:\r\rC:\\Program Files\\Demo Game\\data.bin\r\r'* | \
  *'Setup must change files that these programs are using:'*) ;;
  *) fail "the box's text is not in the dump: $texts" ;;
esac
wizard_click cancel  # Finish
wizard_finish
[ "$wizard_status" = 0 ] || fail "the setup exited $wizard_status after Retry (0 expected)"
cmp "$demo/files/data.bin" "$inst/data.bin" || fail "data.bin was not installed after Retry"
echo "inuse-wine: the wizard named the file, Retry while held asked again, Retry after the helper ended installed"
