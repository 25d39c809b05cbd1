#!/bin/bash
# Registers Pellor.dll in the build's Wine prefix, opens Wine's Explorer on the
# build's private X server, and takes two screenshots: My Computer with its
# "Pellor" entry, and what Explorer shows after "Pellor" is opened. The
# module is unregistered again at the end.
# Usage: BUILD_DIR=... tests/shell/explorer_screenshot.sh   (after scripts/wine-prefix.sh start)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
OUT="$BUILD_DIR/screenshots"
export WINEPREFIX="$BUILD_DIR/wineprefix" WINEDEBUG=-all
export DISPLAY="$(cat "$BUILD_DIR/xvfb.display")"
MODULE="$BUILD_DIR/shell/Pellor.dll"
mkdir -p "$OUT"

wine regsvr32 /s "$MODULE"
wine explorer >/dev/null 2>&1 </dev/null &
EXPLORER=$!
cleanup() {
  kill "$EXPLORER" 2>/dev/null || true
  wine regsvr32 /s /u "$MODULE" || true
}
trap cleanup EXIT
sleep 5

# Wine's Explorer opens on the desktop at a fixed place: the second row of
# its file list is My Computer, whose second row is Pellor.
xdotool mousemove 205 124 click --repeat 2 --delay 100 1
sleep 4
import -window root "$OUT/explorer-mycomputer.png"
xdotool mousemove 187 124 click --repeat 2 --delay 100 1
sleep 6
import -window root "$OUT/explorer-pellor-opened.png"
echo "screenshots in $OUT"
