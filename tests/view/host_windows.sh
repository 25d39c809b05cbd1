#!/bin/bash
# pellor-host --windows, as Windows 10 Explorer drives the view: ann.txt copied, bob.txt cut and deleted with
# the host's Organize commands (GetItemObject), Backspace back (SelectItem), closed views released elsewhere.
set -euo pipefail
source "$(dirname "$0")/host-session.sh"

host_open_letters --windows
sleep 0.3
# The list already focuses ann.txt without selecting it, and Home alone would not move; Y answers the delete
# question, whose default is No.
for keys in "End Home" "alt+o c" End "alt+o t" "alt+o d" y; do
  xdotool key --delay 150 $keys
  sleep 0.6
done
xdotool key BackSpace
explorer_wait_title "$W" '^Pellor$' || fail "Backspace did not go back"
sleep 0.5
host_close
expect "  copy: GetItemObject(selection, IDataObject) -> 0x00000000; clipboard: ann.txt"
expect "  cut: GetItemObject(selection, IContextMenu) -> 0x00000000; clipboard: bob.txt"
expect "  delete: GetItemObject(selection, IContextMenu) -> 0x00000000"
expect "  back from Corvanx:R:\\letters\\: SelectItem -> 0x00000000"
expect "  0: 1 object(s) selected"
[ "$(grep -c "^  view released on another window's thread: 0 references left$" "$WORK/shown")" = 2 ] ||
  fail "neither view left (root, then R:\\letters) went on another thread with nothing left holding it"
[ -e "$DEVICE/R/letters/bob.txt" ] && fail "bob.txt is still on the device"
[ -e "$DEVICE/R/letters/ann.txt" ] || fail "ann.txt is gone from the device"
echo "ok: Organize commands, going back and releasing views worked as Windows 10 Explorer drives them"
