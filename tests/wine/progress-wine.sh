#!/usr/bin/env bash
# The install page while its run goes on, under Wine: a setup whose script
# stops twice at known points (a helper it runs waits for a go file this test
# writes), so the page is caught mid-run twice. The status line shows each
# part's own text and the bar has moved on between the two screenshots; the
# run then ends on the finish page with exit status 0.
set -euo pipefail
wizpak=$1
stub=$2
waiter=$3
demo=$4
work=$(mktemp -d /tmp/wizpak-wine-progress-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
# The screenshots are what this test looks at: without a folder for them it
# keeps them in its work folder.
shots=${WIZPAK_WINE_SHOTS:-$work/shots}
fail() { echo "progress-wine: $*" >&2; exit 1; }

mkdir -p "$work/setup/part1" "$work/setup/part2"
cp "$waiter" "$work/setup/part1/wait.exe"
cp -r "$demo/files/." "$work/setup/part1/"
for i in $(seq 1 40); do head -c 20000 /dev/urandom >"$work/setup/part2/data$i.bin"; done
cat >"$work/setup/setup.wps" <<'WPS'
name "Progress Test"
outfile "ProgressSetup.exe"
installdir "$PROGRAMFILES\Progress Test"
pages install
uninstallpages uninstall
language install\english
uninstalllanguage uninstall\english

message "Copying the first part"
file "part1\"
execute "$INSTDIR\wait.exe" "C:\wizpak-progress-1"
message "Copying the second part"
file "part2\"
execute "$INSTDIR\wait.exe" "C:\wizpak-progress-2"
message "<LANG22>"
WPS
"$wizpak" build "$work/setup/setup.wps" -o "$work/ProgressSetup.exe" --stub "$stub" >/dev/null

drive_c="$WINEPREFIX/drive_c"
rm -f "$drive_c"/wizpak-progress-*
# Waits for the helper to report it has reached MARKER, then lets the UI
# paint what the run has posted so far.
reached() {
  for _ in $(seq 1 300); do
    [ -f "$drive_c/$1.reached" ] && { sleep 1; return 0; }
    kill -0 "$wizard_pid" 2>/dev/null || fail "the setup ended before $1"
    sleep 0.1
  done
  wizard_shot stuck; fail "the run never reached $1"
}

wizard_start progress "$work/ProgressSetup.exe"
wizard_click next  # the install directory
wizard_click next  # the install page with its Install button
before=$(wizard_lines)
wizard_press next  # Install: the run starts
reached wizpak-progress-1
wizard_shot running-1
touch "$drive_c/wizpak-progress-1.go"
reached wizpak-progress-2
wizard_shot running-2
touch "$drive_c/wizpak-progress-2.go"
wizard_wait "$before"  # the finish page
wizard_shot
wizard_click cancel  # Finish
wizard_finish
[ "$wizard_status" = 0 ] || fail "the setup exited $wizard_status"
[ "$(python3 -c 'import json,sys; print([json.loads(l) for l in open(sys.argv[1])][-1]["type"])' "$wizard_dump")" = finish ] ||
  fail "the run did not end on the finish page"

# The status line (panel 220,144 328x16) and the bar (220,164 328x16) as the
# two screenshots show them.
differs() {
  local crop=$1 a b
  a=$(convert "$shots/progress-running-1.png" +repage -crop "$crop" +repage rgb:- | sha256sum)
  b=$(convert "$shots/progress-running-2.png" +repage -crop "$crop" +repage rgb:- | sha256sum)
  [ "$a" != "$b" ]
}
[ -f "$shots/progress-running-1.png" ] && [ -f "$shots/progress-running-2.png" ] || fail "no screenshots of the run"
differs 328x16+220+144 || fail "the status line did not change between the two screenshots"
differs 328x16+220+164 || fail "the bar did not move between the two screenshots"
echo "progress-wine: the status line and the bar changed while the run went on ($shots)"
