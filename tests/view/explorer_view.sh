#!/bin/bash
# The view in Wine's Explorer, driven with xdotool: R:\letters sorted by size with a click on the header,
# and a file renamed with F2 on the stand-in's disk. Needs scripts/wine-prefix.sh start (its X server).
set -euo pipefail
source "$(dirname "$0")/host-session.sh"
explorer_open_letters explorer-root
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
