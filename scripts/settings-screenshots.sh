#!/bin/bash
# Opens the settings sheet from Pellor.dll on the build's private X server and
# saves a picture of each of its four pages, moving on with Ctrl+Tab as a
# keyboard user would, then closes it with Escape.
# Usage: BUILD_DIR=... scripts/settings-screenshots.sh   (after scripts/wine-prefix.sh start)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
OUT="$BUILD_DIR/screenshots"
export WINEPREFIX="$BUILD_DIR/wineprefix" WINEDEBUG=-all
export DISPLAY="$(cat "$BUILD_DIR/xvfb.display")"
mkdir -p "$OUT"
cmake --build "$BUILD_DIR" --target settings_sheet_show >/dev/null

wine "$BUILD_DIR/tests/settings_sheet_show.exe" "$BUILD_DIR/shell/Pellor.dll" &
SHEET=$!
trap 'kill "$SHEET" 2>/dev/null || true' EXIT
for _ in $(seq 1 30); do
  xdotool search --onlyvisible --name "Pellor" >/dev/null 2>&1 && break
  sleep 1
done
sleep 3
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "Pellor" | head -n1)"
for page in connection paths log advanced; do
  import -window root "$OUT/settings-$page.png"
  xdotool key ctrl+Tab
  sleep 1
done
xdotool key Escape
wait "$SHEET"
trap - EXIT
echo "screenshots in $OUT"
