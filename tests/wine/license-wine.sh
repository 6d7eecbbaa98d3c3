#!/usr/bin/env bash
# The licence page under Wine, clicked as a person would: the demo with the
# "install-license" page set and a licence written on Linux. Next is disabled
# on the licence page and a click on it changes nothing; a click on the check
# box ticks it and enables Next; the tick stays when the person comes back;
# the setup then installs. Every page's dump is held against the host's for
# the same actions, and a screenshot of each is kept.
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
work=$(mktemp -d /tmp/wizpak-wine-license-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
shots=${WIZPAK_WINE_SHOTS:-}
fail() { echo "license-wine: $*" >&2; exit 1; }

cp -r "$demo/files" "$work/files"
cp "$demo/changes.rtf" "$work/"
printf 'Demo Game licence\n\n1. You may play the demo as much as you like.\n2. You may give it to friends.\n' >"$work/eula.txt"
sed 's/^pages install-changelog$/pages install-license\nlicense "eula.txt"/' "$demo/setup.wps" >"$work/setup.wps"
grep -q '^license "eula.txt"$' "$work/setup.wps" || fail "the script was not changed"
"$wizpak" build "$work/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" >/dev/null

dump_field() { python3 -c 'import json,sys; d=[json.loads(l) for l in open(sys.argv[1])][-1]; print(eval(sys.argv[2]))' "$wizard_dump" "$1"; }
accept_box() { dump_field "[(c['checked'], c['visible']) for c in d['controls'] if c['name'] == 'License_Accept'][0]"; }

wizard_start license "$work/DemoSetup.exe"
wizard_click next
[ "$(dump_field "d['type']")" = license ] || fail "the second page is not the licence page"
[ "$(accept_box)" = "(False, True)" ] || fail "the check box is not shown unticked: $(accept_box)"
[ "$(dump_field "d['buttons']['next']['enabled']")" = False ] || fail "Next is enabled before the licence is accepted"
# Next, disabled, does nothing: no new page.
before=$(wizard_lines)
wizard_press next
sleep 1
[ "$(wizard_lines)" = "$before" ] || fail "a click on the disabled Next did something"
# The check box, clicked where the layout puts it (220, 322; 328 x 20).
geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
eval "$geometry"
xdotool mousemove $((X + 220 + 8)) $((Y + 322 + 10)) click 1
wizard_wait "$before"
sleep 0.3
wizard_shot
[ "$(dump_field "d['action']")" = accept ] || fail "the click on the check box was seen as $(dump_field "d['action']")"
[ "$(accept_box)" = "(True, True)" ] || fail "the check box is not ticked: $(accept_box)"
[ "$(dump_field "d['buttons']['next']['enabled']")" = True ] || fail "Next stays disabled with the licence accepted"
wizard_click next  # the install directory
wizard_click back  # the licence again: still accepted
[ "$(accept_box)" = "(True, True)" ] && [ "$(dump_field "d['buttons']['next']['enabled']")" = True ] ||
  fail "coming back, the tick or Next was lost"
wizard_click next  # the install directory
wizard_click next  # the install page
wizard_click next  # Install: the run, then the finish page
wizard_click cancel  # Finish
wizard_finish
[ "$wizard_status" = 0 ] || fail "the setup exited $wizard_status"
cmp "$demo/files/readme.txt" "$WINEPREFIX/drive_c/Program Files/Demo Game/readme.txt"

mkdir -p "$work/host-machine"
printf '[drives]\nC=fixed,100000000000\n[wizard]\n1=next\n2=accept\n3=next\n4=back\n5=next\n6=next\n7=next\n8=cancel\n' \
  >"$work/host-machine/machine.ini"
WIZPAK_HOST_ROOT="$work/host-machine" WIZPAK_UI_DUMP="$work/host-license.jsonl" \
  "$(dirname "$wizpak")/wizpak-run" "$work/DemoSetup.exe" >/dev/null
python3 "$here/compare-dumps.py" "$work/host-license.jsonl" "$work/license.jsonl"
echo "license-wine: Next waited for the check box, the tick stayed, the setup installed; the dumps agree"
