#!/bin/bash
# The folder's view inside Wine's Explorer, driven with xdotool as a user
# would: open "Pellor" under My Computer, open R:\letters, sort by size with
# a click on the header, and rename a file with F2. The renamed file must be
# on the stand-in's disk under its new name. Screenshots of each step go to
# $BUILD_DIR/screenshots/. Needs scripts/wine-prefix.sh start (its X server).
# Usage: tests/view/explorer_view.sh   (BUILD_DIR or PELLOR_BUILD_DIR)
set -euo pipefail
source "$(dirname "$0")/../../scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
OUT="$BUILD_DIR/screenshots"
MODULE="$BUILD_DIR/shell/Pellor.dll"
fail() { echo "FAIL: $*"; exit 1; }
shot() { import -window root -crop 640x480+0+0 "$OUT/$1.png"; echo "  $OUT/$1.png"; }
cleanup() {
  [ -n "${EXPLORER:-}" ] && kill "$EXPLORER" 2>/dev/null || true
  wine regsvr32 /s /u "$MODULE" || true
  stand_in_stop
}
trap cleanup EXIT
mkdir -p "$OUT"
wine regsvr32 /s "$MODULE"

wine explorer >/dev/null 2>&1 </dev/null &
EXPLORER=$!
W="$(explorer_window '^Desktop$')" || fail "Explorer's window did not appear"
explorer_open_pellor "$W" || fail "could not open Pellor"
sleep 1
shot explorer-root
explorer_open "$W" r '^Pellor\\R:\\letters$' || fail "could not open R:\\letters"
sleep 1
shot explorer-letters
# Size, ascending: bob.txt (32 bytes) comes before ann.txt (45 bytes).
xdotool mousemove --window "$W" 370 68 click 1
sleep 1
shot explorer-sorted-by-size

# ann.txt is now the second row.
xdotool mousemove --window "$W" 186 "$(explorer_row_y 2)" click 1
sleep 0.5
xdotool key F2
sleep 0.5
xdotool type --delay 60 'dear ann.txt'
xdotool key Return
for _ in $(seq 25); do [ -f "$DEVICE/R/letters/dear ann.txt" ] && break; sleep 0.2; done
sleep 0.5
shot explorer-renamed
ls "$DEVICE/R/letters"
[ -f "$DEVICE/R/letters/dear ann.txt" ] && [ ! -e "$DEVICE/R/letters/ann.txt" ] ||
  fail "F2 rename did not reach the device"
echo "ok: view opened in Explorer, R:\\letters listed, sorted, ann.txt renamed to 'dear ann.txt' on the device"
