#!/bin/bash
# The main job: install what is missing, build, make the project's Wine
# prefix, register Pellor.dll in it, put the stand-in note-taker with a
# sample device on a pseudo-terminal linked as COM1, and open Wine's Explorer
# on the "Pellor" folder under My Computer.
# With a usable X display ($DISPLAY) Explorer opens there and the job waits
# until Explorer is closed (or Ctrl+C); without one it runs on a private X
# server, takes a screenshot, prints its path and ends. Nothing is left
# running either way. The console front end has its own: scripts/run-console.sh.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" >/dev/null
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  export PELLOR_DISPLAY="$DISPLAY"
fi
"$ROOT/scripts/wine-prefix.sh" start
export PC_COM=1 SIM_COM=9
source "$ROOT/scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
MODULE="$BUILD_DIR/shell/Pellor.dll"
cleanup() {
  [ -n "${EXPLORER:-}" ] && kill "$EXPLORER" 2>/dev/null || true
  stand_in_stop
  "$ROOT/scripts/wine-prefix.sh" stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM
echo "stand-in note-taker on COM$PC_COM, serving $(cd "$DEVICE" && find . -type f | sed 's|^\./||' | tr '\n' ' ')"
wine regsvr32 /s "$MODULE"
echo "registered $MODULE in $WINEPREFIX"

wine explorer >/dev/null 2>&1 </dev/null &
EXPLORER=$!
W="$(explorer_window '^Desktop$')" || { echo "Explorer's window did not appear" >&2; exit 1; }
explorer_open_pellor "$W" || exit 1
echo "Explorer shows the Pellor folder: open a folder with Return or a double-click, rename with F2"
if [ -n "${PELLOR_DISPLAY:-}" ]; then
  echo "close Explorer (or press Ctrl+C here) to end"
  wait "$EXPLORER" || true
else
  mkdir -p "$BUILD_DIR/screenshots"
  sleep 1
  import -window root -crop 640x480+0+0 "$BUILD_DIR/screenshots/run.png"
  echo "screenshot: $BUILD_DIR/screenshots/run.png"
fi
