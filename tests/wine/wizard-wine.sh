# Sourced by the Wine test scripts after wine-env.sh: a setup's wizard driven
# as a person would, with real mouse clicks on its real buttons (xdotool),
# each page waited for through the UI dump the program writes and kept as a
# screenshot in $shots (when set).
#
#   wizard_start NAME PROGRAM [ARGS...]   starts PROGRAM; its dump is $work/NAME.jsonl
#   wizard_click BUTTON                   back, next, cancel (Finish on a finish page)
#   wizard_press BUTTON                   the click alone, not waiting for a page
#   wizard_finish                         waits for the program; its exit status in $wizard_status
#   wizard_shot [NAME [WxH]]              a screenshot of the window now

# Client positions of the buttons: left, top, width, height.
declare -A wizard_buttons=([back]="344 384 73 25" [next]="416 384 73 25" [cancel]="496 384 75 25"
                           [language]="8 384 89 25")

wizard_lines() { [ -f "$wizard_dump" ] && wc -l <"$wizard_dump" || echo 0; }

# Waits until the dump has more than N lines (the wizard idle again).
wizard_wait() {
  local n=$1
  for _ in $(seq 1 300); do
    [ "$(wizard_lines)" -gt "$n" ] && return 0
    kill -0 "$wizard_pid" 2>/dev/null || { echo "wizard-wine: $wizard_name ended early" >&2; return 1; }
    sleep 0.1
  done
  echo "wizard-wine: $wizard_name: no new page after 30 s" >&2
  return 1
}

wizard_shot() {
  [ -n "${shots:-}" ] || return 0
  mkdir -p "$shots"
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
  eval "$geometry"
  # Named after the page's dump line, or as the caller says ("menu").
  import -window root -crop "${2:-578x413}+$X+$Y" "$shots/$wizard_name-${1:-$(wizard_lines)}.png" 2>/dev/null || true
}

wizard_start() {
  wizard_name=$1
  shift
  wizard_dump="$work/$wizard_name.jsonl"
  rm -f "$wizard_dump"
  WIZPAK_UI_DUMP="Z:${wizard_dump//\//\\}" wine "$@" >/dev/null 2>&1 &
  wizard_pid=$!
  wizard_wait 0
  wizard_window=$(xdotool search --sync --onlyvisible --name 'Demo Game|Commands Test|Progress Test|Uninstall' | tail -n 1)
  sleep 0.3
  wizard_shot
}

wizard_press() {
  local geometry
  read -r left top width height <<<"${wizard_buttons[$1]}"
  geometry=$(xdotool getwindowgeometry --shell "$wizard_window")
  eval "$geometry"
  xdotool mousemove $((X + left + width / 2)) $((Y + top + height / 2)) click 1
}

wizard_click() {
  local before
  before=$(wizard_lines)
  wizard_press "$1"
  if [ "$1" = cancel ] && ! kill -0 "$wizard_pid" 2>/dev/null; then return 0; fi
  # A click that closes the wizard leaves no new page.
  for _ in $(seq 1 300); do
    [ "$(wizard_lines)" -gt "$before" ] && break
    kill -0 "$wizard_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  sleep 0.3
  wizard_shot
}

wizard_finish() {
  wizard_status=0
  wait "$wizard_pid" || wizard_status=$?
  wineserver -w
}
