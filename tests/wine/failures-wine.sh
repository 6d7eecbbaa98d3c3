#!/usr/bin/env bash
# A failure is not reported as success, and a run is all or nothing, under
# Wine: the demo is installed, its files then changed (an older version), and
# a folder put where the last file of the list must go. The wizard's run meets
# it late, stops and puts everything back; the error log's box appears and is
# answered, the finish page shows the failure text, and the setup exits 6;
# every overwritten file is back byte for byte, the folder untouched, no
# journal left. Then the install log is extended by hand: the uninstaller does
# not believe it (its digest in HKLM differs), writes an error log, deletes
# nothing and exits 2.
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
work=$(mktemp -d /tmp/wizpak-wine-failures-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
shots=${WIZPAK_WINE_SHOTS:-}
fail() { echo "failures-wine: $*" >&2; exit 1; }
"$wizpak" build "$demo/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" >/dev/null
inst="$WINEPREFIX/drive_c/Program Files/Demo Game"
status=0
timeout 120 "$wine_loader" "$work/DemoSetup.exe" /S >/dev/null 2>&1 || status=$?
wineserver -w
[ "$status" = 0 ] || fail "the first install exited $status"
printf 'the old readme\r\n' >"$inst/readme.txt"
printf '[old]\r\n' >"$inst/demo.ini"
head -c 3000 /dev/urandom >"$inst/data.bin"
rm "$inst/docs/changes.txt"
mkdir -p "$inst/docs/changes.txt"
mkdir -p "$work/old"
cp -a "$inst/." "$work/old/"

wizard_start failures "$work/DemoSetup.exe"
wizard_click next  # the change log
wizard_click next  # the install directory
wizard_click next  # the install page
before=$(wizard_lines)
wizard_press next  # Install
# Answers every small box on the screen (the error log's "Error Report", and
# the box Wine's shell may show when it has no viewer for the log) with a
# click on its button, until Done (a command) succeeds.
answer_boxes_until() {
  for _ in $(seq 1 40); do
    "$@" && return 0
    for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
      [ "$window" = "${wizard_window:-}" ] && continue
      eval "$(xdotool getwindowgeometry --shell "$window")"
      [ "$WIDTH" -lt 600 ] && [ "$HEIGHT" -lt 300 ] && xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 22)) click 1
    done
    sleep 0.5
  done
  return 1
}

# The error log's box ("Error Report") is seen and kept as a screenshot, then
# answered, with any box Wine's shell shows when it opens the log.
xdotool search --sync --onlyvisible --name '^Error Report$' >/dev/null
sleep 0.5
wizard_shot error-box 1024x768
finish_page_shown() { [ "$(wizard_lines)" -gt "$before" ]; }
answer_boxes_until finish_page_shown || true
wizard_wait "$before"
sleep 0.5
wizard_shot
[ "$(python3 -c 'import json,sys; d=[json.loads(l) for l in open(sys.argv[1])][-1]; print(d["type"], [c["text"] for c in d["controls"] if c["name"] == "FinishText"])' "$wizard_dump")" = "finish ['Setup failed to install.']" ] ||
  fail "the finish page does not show the failure text: $(tail -c 300 "$wizard_dump")"
wizard_click cancel  # Finish
wizard_finish
[ "$wizard_status" = 6 ] || fail "the setup exited $wizard_status (6 expected)"
[ -d "$inst/docs/changes.txt" ] || fail "the folder in the way was changed"
diff -r "$work/old" "$inst" >&2 || fail "the installation was not put back as it was"
[ ! -e "$inst/Demo_run-journal" ] || fail "the run's journal was left"
log=$(find "$WINEPREFIX/drive_c" -iname 'ErrorLog*.txt' | head -n 1)
[ -n "$log" ] && grep -q 'changes.txt' "$log" && grep -q 'was put back' "$log" ||
  fail "no error log naming changes.txt and saying everything was put back"
echo "failures-wine: a file late in the list could not be written; every file put back byte for byte, exit 6"

# The install log extended after the install: not believed.
printf 'x' >>"$inst/Demo_install.log"
rm -f "$log"
wine 'C:\Program Files\Demo Game\Demo_Uninstall.exe' >/dev/null 2>&1 &
uninstaller=$!
wizard_window=
answer_boxes_until sh -c "! kill -0 $uninstaller 2>/dev/null" || fail "the uninstaller did not end"
status=0
wait "$uninstaller" || status=$?
wineserver -w
[ "$status" = 2 ] || fail "the uninstaller of a changed log exited $status (2 expected)"
cmp "$work/old/demo.ini" "$inst/demo.ini" || fail "the uninstaller deleted files on a changed log"
[ -f "$inst/Demo_install.log" ] || fail "the changed log was deleted"
log=$(find "$WINEPREFIX/drive_c" -iname 'ErrorLog*.txt' | head -n 1)
[ -n "$log" ] && grep -q 'install log has been changed' "$log" || fail "no error log saying the log was changed"
echo "failures-wine: a changed install log is refused: nothing deleted, an error log, exit 2"
