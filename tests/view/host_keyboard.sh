#!/bin/bash
# pellor-host --windows, which shows no menu bar for the view, as Windows 10
# and 11 Explorer do not: in R:\letters every command of the view is reached
# from the background's context menu with Shift+F10 and the arrow keys alone
# (View and Sort by, Refresh, Paste of a PC file, the Pellor submenu, Pellor
# Properties, Help Topics, Select by Mask, Invert Selection and Select All,
# the last two undone from the items' menu), then New Folder makes a folder
# that is renamed to "trips" as it opens for editing. The record must name
# every command chosen, and the device must hold the pasted file and "trips".
# Usage: tests/view/host_keyboard.sh   (BUILD_DIR or PELLOR_BUILD_DIR)
set -euo pipefail
source "$(dirname "$0")/host-session.sh"

# menu KEY...: opens the context menu with Shift+F10, moves with the keys, and chooses with Return.
menu() {
  xdotool key shift+F10
  sleep 0.4
  xdotool key --delay 80 "$@" Return
  sleep 0.8
}
# down N: N presses of Down, the first of which reaches the menu's first item.
down() { for _ in $(seq "$1"); do printf 'Down '; done; }
# answer KEY: waits for a dialog of the host and presses KEY in it.
answer() {
  explorer_window "$1" pellor-host.exe >/dev/null || fail "no window '$1' appeared"
  sleep 0.3
  xdotool key "$2"
  sleep 0.5
}

printf 'a PC file\n' >"$WORK/pc.txt"
wine reg add "$SETTINGS_KEY" /v "Backup Path" /t REG_SZ /d "$(winepath -w "$WORK")\\backup" /f >/dev/null 2>&1
host_open_letters --windows --clipboard "$(winepath -w "$WORK/pc.txt")"
sleep 0.3
for view in 0 1 2 3; do menu $(down 1) Right $(down "$view"); done
for sort in 0 1 2 3; do menu $(down 2) Right $(down "$sort"); done
menu $(down 3)                                   # Refresh
menu $(down 4)                                   # Paste
for _ in $(seq 100); do [ -f "$DEVICE/R/letters/pc.txt" ] && break; sleep 0.2; done
menu $(down 9) Right                             # Pellor, Backup
for _ in $(seq 150); do [ -f "$WORK/backup/backup-restore.index" ] && break; sleep 0.2; done
sleep 0.5
menu $(down 9) Right $(down 1)                   # Backup To...
answer '^Browse for Folder$' Escape
menu $(down 9) Right $(down 2)                   # Restore
answer '^Error$' Escape
menu $(down 9) Right $(down 3)                   # Restore From...
answer '^Browse for Folder$' Escape
menu $(down 10)                                  # Pellor Properties
answer 'Properties for Pellor' Escape
menu $(down 11)                                  # Help Topics
answer '^Pellor Help$' alt+F4
menu $(down 8)                                   # Select by Mask
answer '^Enter File Mask$' Escape
menu $(down 7)                                   # Invert Selection: everything
menu $(down 9)                                   # the items' Invert Selection: nothing
menu $(down 6)                                   # Select All
menu $(down 9)
menu $(down 5)                                   # New Folder, named as it opens for editing
xdotool type --delay 60 trips
xdotool key Return
for _ in $(seq 50); do [ -d "$DEVICE/R/letters/trips" ] && break; sleep 0.2; done
sleep 0.5
host_close
for command in "Lar&ge Icons" "S&mall Icons" "&List" "&Details" "&Name" "&Size" "&Type" "&Date" \
  "R&efresh	F5" "&Paste	Ctrl+V" "&Backup	Ctrl+B" "Backup &To...	Ctrl+Shift+B" "&Restore	Ctrl+R" \
  "Restore &From...	Ctrl+Shift+R" "Pellor P&roperties	Alt+Enter" "&Help Topics	F1" "Select by &Mask	Ctrl+M" \
  "&Invert Selection" "Select &All	Ctrl+A" "Ne&w Folder	Ctrl+Shift+N"; do
  expect "  context menu: $command"
done
[ "$(grep -c "^  context menu: &Invert Selection$" "$WORK/shown")" = 3 ] || fail "Invert Selection was not chosen 3 times"
expect "  view: mode 4, 4 items, 1 selected"
[ -f "$DEVICE/R/letters/pc.txt" ] || fail "Paste did not reach the device"
[ -d "$DEVICE/R/letters/trips" ] && [ ! -e "$DEVICE/R/letters/New Folder" ] || fail "the new folder is not 'trips'"
echo "ok: every command of the view reached by Shift+F10 and the arrow keys, and a new folder named as it was made"
