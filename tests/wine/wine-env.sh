# Sourced by the Wine test scripts: a fresh prefix of the build's width in
# $work/prefix (WIZPAK_WINE_WIDTH, 32 or 64, set by CTest: a 32-bit prefix for
# the 32-bit programs, a 64-bit one for the 64-bit programs, so neither sees
# the Wow6432Node or "Program Files (x86)" redirection), a display (an Xvfb of
# its own when none is set), cleaned up on exit. `wine` runs a program of that
# width; `wine reg query` reads the registry view such a program writes.
wine_width=${WIZPAK_WINE_WIDTH:-32}
case "$wine_width" in
  32) export WINEARCH=win32; wine_loader=/usr/lib/wine/wine ;;
  64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64; wine_loader=/usr/lib/wine/wine64 ;;
  *) echo "WIZPAK_WINE_WIDTH must be 32 or 64, not $wine_width" >&2; exit 2 ;;
esac
[ -x "$wine_loader" ] || { echo "$wine_loader is missing: run scripts/bootstrap.sh" >&2; exit 1; }
# winedbg off: a program that crashes ends at once with its fault printed,
# instead of waiting in the debugger until the test's time runs out.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LANG=en_US.UTF-8
wine() { "$wine_loader" "$@"; }
wine_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${wine_xvfb:-}" ] && kill "$wine_xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap wine_cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display itself and says which: tests running side by
  # side each get their own.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  wine_xvfb=$!
  for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "wine-env: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
fi
wine wineboot -i >/dev/null 2>&1
wineserver -w
