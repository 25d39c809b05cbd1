#!/bin/bash
# A PC file dragged with the mouse from Wine Explorer's C:\dndsrc onto the view of R:\letters in a
# second window must reach the stand-in's disk byte for byte.
set -euo pipefail
source "$(dirname "$0")/host-session.sh"
SOURCE="$WINEPREFIX/drive_c/dndsrc"
CROP=640x768+0+0
mkdir -p "$SOURCE"
head -c 3000 /dev/urandom >"$SOURCE/dragme.bin"
explorer_open_letters
xdotool windowmove "$W" 0 0
wine explorer 'C:\dndsrc' >/dev/null 2>&1 </dev/null &
PIDS+=" $!"
P="$(explorer_window 'dndsrc')" || fail "the PC folder's window did not appear"
xdotool windowmove "$P" 0 420
sleep 1
shot drop-before

# Press on the file, pass the drag threshold in small steps, then let go below the view's rows.
eval "$(xdotool getwindowgeometry --shell "$P")"
xdotool mousemove $((X + 186)) $((Y + $(explorer_row_y 1)))
sleep 0.3
xdotool mousedown 1
sleep 0.3
for d in 2 4 6 8 10 14 20 30; do xdotool mousemove $((X + 186 + d)) $((Y + 84 - d)); sleep 0.1; done
eval "$(xdotool getwindowgeometry --shell "$W")"
for y in 380 340 300; do xdotool mousemove $((X + 400)) $((Y + y)); sleep 0.2; done
sleep 0.5
xdotool mouseup 1
for _ in $(seq 50); do cmp -s "$SOURCE/dragme.bin" "$DEVICE/R/letters/dragme.bin" && break; sleep 0.2; done
sleep 0.5
shot drop-after
cmp "$SOURCE/dragme.bin" "$DEVICE/R/letters/dragme.bin" || fail "the dropped file is not on the device byte for byte"
echo "ok: dragme.bin dragged from C:\\dndsrc onto R:\\letters, byte-equal on the device"
