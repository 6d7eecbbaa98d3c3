#!/usr/bin/env bash
# Names and folders of any language under Wine, with the Wine process in an
# English, a Russian and a Japanese locale (each its own prefix; the locales
# are built into the test's own folder with localedef): a setup whose payload
# holds "café.txt", "Müller.txt", "Ñandú\año.txt" and "日本語.txt" installs
# them under exactly those names (compared from Linux, byte for byte) into
# C:\Jeux\Démo, C:\Игры\Демо and a folder of more than 300 characters; the
# registry values and the desktop shortcut name that folder (read from the
# prefix's files); the uninstaller removes everything. The setup itself is
# named "Démo-セットアップ.exe". In the English locale the wizard is walked
# too, its folder picked in the tree.
set -euo pipefail
wizpak=$1
stub=$2
demo=$3
work=$(mktemp -d /tmp/wizpak-wine-unicode-XXXXXX)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
fail() { echo "unicode-wine: $*" >&2; exit 1; }

# The setup: the demo with the payload above, a desktop shortcut to café.txt
# and a registry value below the install directory.
src="$work/src"
cp -r "$demo" "$src"
printf 'cafe\r\n' >"$src/files/café.txt"
printf 'mueller\r\n' >"$src/files/Müller.txt"
mkdir -p "$src/files/Ñandú"
printf 'ano\r\n' >"$src/files/Ñandú/año.txt"
printf 'nihongo\r\n' >"$src/files/日本語.txt"
python3 - "$src/setup.wps" <<'EOF'
import sys
path = sys.argv[1]
text = open(path).read().replace('outfile "DemoSetup.exe"', 'outfile "Démo-セットアップ.exe"')
text = text.replace('file "files\\"\n', 'file "files\\"\n'
                                 'createshortcut "$DESKTOP\\Démo.lnk" "$INSTDIR\\café.txt" ""\n'
                                 'writeregstr HKLM "SOFTWARE\\Demo Game" "Dossier" "$INSTDIR\\Ñandú"\n', 1)
open(path, 'w').write(text)
EOF
# The setup's own name is not in any code page but Unicode's either.
setup="$work/Démo-セットアップ.exe"
"$wizpak" build "$src/setup.wps" -o "$setup" --stub "$stub" >/dev/null

# The checks read the prefix from Linux: the files, the registry as Wine
# saves it (system.reg) and the shortcut's working folder (its UTF-16 text).
cat >"$work/check.py" <<'EOF'
import os, re, sys
prefix, folder, src = sys.argv[1:4]
inst = os.path.join(prefix, 'drive_c', *folder[3:].split('\\'))
for name in ['café.txt', 'Müller.txt', os.path.join('Ñandú', 'año.txt'), '日本語.txt', 'readme.txt']:
    want = open(os.path.join(src, 'files', name), 'rb').read()
    got = open(os.path.join(inst, name), 'rb').read()
    assert got == want, ('content of', name)

def unescape(s):
    s = re.sub(r'\\x([0-9a-fA-F]{1,4})', lambda m: chr(int(m.group(1), 16)), s)
    return s.replace('\\\\', '\\').replace('\\"', '"')

reg = open(os.path.join(prefix, 'system.reg'), encoding='ascii', errors='replace').read()
def value(key, name):
    start = reg.index('[' + key.replace('\\', '\\\\') + ']')
    block = reg[start:reg.find('\n\n', start)]
    m = re.search(r'^"' + re.escape(name) + r'"="(.*)"$', block, re.M)
    assert m, (key, name, block)
    return unescape(m.group(1))
# A folder picked in the wizard is stored with a trailing backslash, so
# "$INSTDIR\x" may hold two: the same path to Windows.
def path(s):
    return re.sub(r'\\+', r'\\', s).rstrip('\\')
assert path(value('Software\\Demo Game', 'InstallPath')) == folder, value('Software\\Demo Game', 'InstallPath')
assert path(value('Software\\Demo Game', 'Dossier')) == folder + '\\Ñandú'
key = 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo Game'
assert path(value(key, 'InstallLocation')) == folder, value(key, 'InstallLocation')
assert path(value(key, 'UninstallString')) == '"%s\\Demo_Uninstall.exe"' % folder

users = os.path.join(prefix, 'drive_c', 'users')
links = sorted({os.path.realpath(os.path.join(r, f)) for r, _, fs in os.walk(users, followlinks=True) for f in fs
                if f == 'Démo.lnk'})
assert len(links) == 1, links
data = open(links[0], 'rb').read()
flags = int.from_bytes(data[0x14:0x18], 'little')
at = 0x4C
if flags & 0x01:
    at += 2 + int.from_bytes(data[at:at + 2], 'little')
if flags & 0x02:
    at += int.from_bytes(data[at:at + 4], 'little')
texts = []
for bit in (0x04, 0x08, 0x10):
    if flags & bit:
        n = int.from_bytes(data[at:at + 2], 'little')
        width = 2 if flags & 0x80 else 1
        texts.append((bit, data[at + 2:at + 2 + n * width].decode('utf-16-le' if width == 2 else 'cp1252')))
        at += 2 + n * width
working = [t for bit, t in texts if bit == 0x10]
assert working and working[0].rstrip('\0').rstrip('\\') == folder, texts
EOF

long='C:\'
for i in 1 2 3 4 5 6 7 8; do long+="Très-long-dossier-0$i-xxxxxxxxxxxxxxxxxxxxxxxx\\"; done
long=${long%\\}
[ ${#long} -gt 300 ] || fail "the long folder has ${#long} characters"

run_status() {
  status=0
  timeout 180 "$wine_loader" "$@" >/dev/null 2>&1 || status=$?
  wineserver -w
}

# The wizard with its folder picked in the tree, as a person would: a click
# on the tree, "j" for C:\Jeux, then Right twice to open it and take its
# first folder, whose name the machine's code page cannot hold. The box shows
# it whole, the install lands there and its uninstaller removes it.
walk_the_tree() {
  # shellcheck source=wizard-wine.sh
  . "$here/wizard-wine.sh"
  shots=${WIZPAK_WINE_SHOTS:-}
  local picked='C:\Jeux\Игры'
  mkdir -p "$WINEPREFIX/drive_c/Jeux/Игры"
  wizard_start tree "$setup"
  wizard_click next  # the change log
  wizard_click next  # the install directory
  local tree
  tree=$(python3 -c '
import json, sys
page = json.loads(open(sys.argv[1], encoding="utf-8").read().splitlines()[-1])
tree = [c for c in page["controls"] if c["kind"] == "tshelltreeview" and c["visible"]]
assert tree, [c["kind"] for c in page["controls"]]
print(tree[0]["left"] + tree[0]["width"] // 2, tree[0]["top"] + 9)' "$wizard_dump")
  local geometry X Y
  geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
  eval "$geometry"
  read -r left top <<<"$tree"
  xdotool mousemove $((X + left)) $((Y + top)) click 1
  sleep 0.5
  # "j" and the second Right each select a folder (a new dump line); the
  # first Right only opens C:\Jeux.
  local n
  n=$(wizard_lines)
  xdotool key j
  wizard_wait "$n" || fail "the tree did not answer j"
  sleep 0.3
  n=$(wizard_lines)
  xdotool key Right
  sleep 0.5
  xdotool key Right
  wizard_wait "$n" || fail "the tree did not answer Right"
  sleep 0.3
  python3 -c '
import json, sys
page = json.loads(open(sys.argv[1], encoding="utf-8").read().splitlines()[-1])
assert page["action"] == "tree " + sys.argv[2] + "\\", page["action"]
box = [c for c in page["controls"] if c["name"] == "InstallDir_Edit"]
assert box and box[0]["text"] == sys.argv[2], box' "$wizard_dump" "$picked" || fail "the tree pick"
  wizard_shot tree
  wizard_click next  # the install page
  wizard_click next  # Install: the run, then the finish page
  wizard_click cancel  # Finish
  wizard_finish
  wineserver -w
  [ "$wizard_status" = 0 ] || fail "the wizard exited $wizard_status"
  python3 "$work/check.py" "$WINEPREFIX" "$picked" "$src" || fail "the wizard's install into $picked"
  run_status "$picked\\Demo_Uninstall.exe" /S '/LOG=C:\uninstall.log'
  [ "$status" = 0 ] || fail "the uninstaller of $picked exited $status"
  for _ in $(seq 1 50); do
    [ -e "$WINEPREFIX/drive_c/Jeux/Игры/café.txt" ] || break
    sleep 0.2
  done
  [ ! -e "$WINEPREFIX/drive_c/Jeux/Игры/café.txt" ] || fail "the uninstall of $picked left its files"
  echo "unicode-wine: en_US: $picked picked in the wizard's tree, installed, checked and uninstalled"
}

mkdir -p "$work/locales"
for locale in en_US ja_JP ru_RU; do
  [ -d "$work/locales/$locale.UTF-8" ] ||
    localedef -i "$locale" -f UTF-8 "$work/locales/$locale.UTF-8" >/dev/null 2>&1 ||
    fail "localedef cannot build $locale.UTF-8 (the locales package)"
done
# (bash itself does not see LOCPATH and warns once; the programs it starts do.)
export LOCPATH="$work/locales"

# Wine links the user's desktop to the Linux home: a home of the test's own.
export HOME="$work/home"
mkdir -p "$HOME"
for locale in en_US ru_RU ja_JP; do
  export LANG=$locale.UTF-8 LC_ALL=$locale.UTF-8 WINEPREFIX="$work/prefix-$locale" 2>/dev/null
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  # The locale reached Wine: its ANSI code page is the locale's.
  page=$(grep -m1 '^"ACP"=' "$WINEPREFIX/system.reg" | tr -dc '0-9')
  case "$locale" in en_US) want=1252 ;; ru_RU) want=1251 ;; ja_JP) want=932 ;; esac
  [ "$page" = "$want" ] || fail "$locale: Wine's code page is $page, not $want"
  for folder in 'C:\Jeux\Démo' 'C:\Игры\Демо' "$long"; do
    run_status "$setup" /S '/LOG=C:\setup.log' "/D=$folder"
    [ "$status" = 0 ] || fail "$locale: the setup into $folder exited $status: $(tr -d '\r' <"$WINEPREFIX/drive_c/setup.log" | grep -v '^Status' | tail -n 12)"
    python3 "$work/check.py" "$WINEPREFIX" "$folder" "$src" || fail "$locale: the install into $folder"
    run_status "$folder\\Demo_Uninstall.exe" /S '/LOG=C:\uninstall.log'
    [ "$status" = 0 ] || fail "$locale: the uninstaller of $folder exited $status"
    inst="$WINEPREFIX/drive_c/${folder:3}"
    inst=${inst//\\//}
    for _ in $(seq 1 50); do
      [ -e "$inst" ] || break
      sleep 0.2
    done
    [ ! -e "$inst" ] || fail "$locale: $folder is left: $(ls -A "$inst")"
    if find -L "$WINEPREFIX/drive_c/users" -name 'Démo.lnk' | grep -q .; then fail "$locale: the shortcut is left"; fi
    if grep -q 'Dossier' "$WINEPREFIX/system.reg"; then fail "$locale: the registry value is left"; fi
  done
  echo "unicode-wine: $locale (code page $page): three folders installed, checked and uninstalled"
  [ "$locale" = en_US ] && walk_the_tree
  wineserver -k >/dev/null 2>&1 || true
done
