#!/usr/bin/env bash
# The wizard's language menu and its Cancel question under Wine, as a person
# uses them: a setup with two languages; the language button is clicked, the
# menu opens under it and its second item is clicked, so the pages and the
# buttons speak the second language; Cancel asks, No (typed) keeps the wizard
# open, Cancel again and Yes end it with exit status 3. On the way the
# keyboard is used as in any dialog: a mnemonic, Enter and Escape.
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
data=$4
work=$(mktemp -d /tmp/wizpak-wine-language-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
# shellcheck source=wizard-wine.sh
. "$here/wizard-wine.sh"
shots=${WIZPAK_WINE_SHOTS:-}
fail() { echo "language-wine: $*" >&2; exit 1; }

cp -r "$data" "$work/data"
cp -r "$demo/files" "$work/files"
cp "$demo/changes.rtf" "$work/"
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
strings = {1: 'Willkommen bei <%SETUPTITLE%>', 12: '< Zurück', 13: '&Weiter >', 14: 'Abbrechen', 15: 'Installieren',
           16: 'Fertig', 27: 'Wirklich beenden?', 28: 'Beenden'}
text = 'Deutsch\r\n0407;\r\n' + ''.join('%d %s\r\n' % item for item in sorted(strings.items()))
open(work + '/data/languages/install/deutsch.wri', 'wb').write(b'\xff\xfe' + text.encode('utf-16-le'))
PY
sed 's/^language install\\english$/language install\\english\nlanguage install\\deutsch/' "$demo/setup.wps" >"$work/setup.wps"
"$wizpak" build "$work/setup.wps" -o "$work/DemoSetup.exe" --stub "$stub" --data "$work/data" >/dev/null

dump_field() { python3 -c 'import json,sys; d=[json.loads(l) for l in open(sys.argv[1])][-1]; print(eval(sys.argv[2]))' "$wizard_dump" "$1"; }

wizard_start language "$work/DemoSetup.exe"
[ "$(dump_field "d['buttons']['language']['caption']")" = English ] || fail "the language button does not read English"
# The language button, then the menu's second item, just below the point the
# menu opens at (the button's lower-left corner).
geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
eval "$geometry"
before=$(wizard_lines)
xdotool mousemove $((X + 8 + 44)) $((Y + 384 + 12)) click 1
sleep 1
wizard_shot menu 640x480
menu_x=$((X + 8 - 4 + 20)) menu_y=$((Y + 384 + 25 - 4))
xdotool mousemove "$menu_x" $((menu_y + 30)) click 1
wizard_wait "$before"
sleep 0.3
wizard_shot
[ "$(dump_field "d['action']")" = "language 1" ] || fail "the menu pick was not seen: $(dump_field "d['action']")"
[ "$(dump_field "[m['checked'] for m in d['menu']]")" = "[False, True]" ] || fail "the second item is not ticked"
[ "$(dump_field "d['buttons']['next']['caption']")" = "&Weiter >" ] || fail "Next does not read &Weiter >"
[ "$(dump_field "[c['text'] for c in d['controls'] if c['name'] == 'WelcomeLabel'][0]")" = "Willkommen bei Demo Game" ] ||
  fail "the welcome label was not translated"

# The keyboard as in any dialog: Alt and the caption's mnemonic letter
# presses Weiter (twice: the change log, then the install directory), Enter
# presses it again (from the directory box, which has
# the focus), Escape asks the Cancel question.
page_type() { dump_field "d['type']"; }
before=$(wizard_lines)
xdotool key --window "$wizard_window" alt+w
wizard_wait "$before"
sleep 0.3
wizard_shot
[ "$(page_type)" = changelog ] || fail "Alt+W did not press Weiter: $(page_type)"
before=$(wizard_lines)
xdotool key --window "$wizard_window" alt+w
wizard_wait "$before"
sleep 0.3
[ "$(page_type)" = installdir ] || fail "Alt+W on the change log did not press Weiter: $(page_type)"
before=$(wizard_lines)
xdotool key --window "$wizard_window" Return
wizard_wait "$before"
sleep 0.3
wizard_shot
[ "$(page_type)" = patch ] || fail "Enter did not press Weiter: $(page_type)"
xdotool key --window "$wizard_window" Escape
answer() {
  local box
  box=$(xdotool search --sync --onlyvisible --name '^Beenden$' | head -n 1)
  sleep 0.3
  xdotool key --window "$box" "$1"
}
answer n
sleep 0.5
kill -0 "$wizard_pid" 2>/dev/null || fail "No on the question asked by Escape ended the wizard"

# Cancel: the question in the second language; No keeps the wizard.
before=$(wizard_lines)
geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
eval "$geometry"
xdotool mousemove $((X + 496 + 37)) $((Y + 384 + 12)) click 1
answer n
wizard_wait "$before"
kill -0 "$wizard_pid" 2>/dev/null || fail "No on the question ended the wizard"
xdotool mousemove $((X + 496 + 37)) $((Y + 384 + 12)) click 1
answer y
wizard_finish
[ "$wizard_status" = 3 ] || fail "closed by Cancel, the setup exited $wizard_status (3 expected)"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Demo Game" ] || fail "a cancelled setup installed something"
echo "language-wine: the menu switched to the second language; Cancel asked, No kept the wizard, Yes ended it (3)"
