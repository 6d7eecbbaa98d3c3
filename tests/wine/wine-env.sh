# Sourced by the Wine test scripts: a fresh 32-bit prefix in $work/prefix, a
# display (an Xvfb of its own when none is set), cleaned up on exit.
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${wine_xvfb:-}" ] && kill "$wine_xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap wine_cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  # The first display number no X server holds.
  n=100
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  display=:$n
  Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb=$!
  export DISPLAY=$display
  sleep 1
fi
wineboot -i >/dev/null 2>&1
wineserver -w
