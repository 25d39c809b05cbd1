#!/bin/bash
# pellor-host --windows (no menu bar, as in Windows 10 and 11): in R:\letters every command is chosen from the
# context menu with Shift+F10, the arrows and Return alone; the new folder is named "trips" as it opens.
set -euo pipefail
source "$(dirname "$0")/host-session.sh"

# menu N [M]: Shift+F10, Down N times (the first reaches the first item), into
# the submenu there and Down M times when M is given, then Return.
menu() {
  local keys=()
  for _ in $(seq "$1"); do keys+=(Down); done
  [ -n "${2:-}" ] && keys+=(Right) && for _ in $(seq "$2"); do keys+=(Down); done
  xdotool key shift+F10
  sleep 0.4
  xdotool key --delay 80 "${keys[@]}" Return
  sleep 0.8
}
# answer TITLE KEY: presses KEY in the host's window TITLE once it shows.
answer() {
  explorer_window "$1" pellor-host.exe >/dev/null || fail "no window '$1' appeared"
  sleep 0.3
  xdotool key "$2"
  sleep 0.5
}
until_there() { for _ in $(seq 150); do [ -e "$1" ] && return; sleep 0.2; done; }
# until_done TITLE: waits for the progress dialog to come and go (the index is written before the first file).
until_done() {
  for _ in $(seq 25); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && break; sleep 0.2; done
  for _ in $(seq 300); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.2; done
  fail "the dialog '$1' stayed"
}

printf 'a PC file\n' >"$WORK/pc.txt"
wine reg add "$SETTINGS_KEY" /v "Backup Path" /t REG_SZ /d "$(winepath -w "$WORK")\\backup" /f >/dev/null 2>&1
host_open_letters --windows --clipboard "$(winepath -w "$WORK/pc.txt")"
sleep 0.3
for item in 0 1 2 3; do menu 1 "$item"; done   # View: Large Icons to Details
for item in 0 1 2 3; do menu 2 "$item"; done   # Sort by: Name, Size, Type, Date
menu 3                                         # Refresh
menu 4 && until_there "$DEVICE/R/letters/pc.txt"               # Paste
menu 9 0 && until_there "$WORK/backup/backup-restore.index" && until_done '^Receiving file'  # Pellor, Backup
menu 9 1 && answer '^Browse for Folder$' Escape                # Backup To...
menu 9 2 && answer '^Pellor$' Escape                           # Restore: "Are you sure...?"
menu 9 3 && answer '^Browse for Folder$' Escape                # Restore From...
menu 10 && answer 'Properties for Pellor' Escape               # Pellor Properties
menu 11 && answer '^Pellor Help$' alt+F4                       # Help Topics
menu 8 && answer '^Enter File Mask$' Escape                    # Select by Mask
menu 7 && menu 9                               # Invert Selection, then the items' Invert Selection
menu 6 && menu 9                               # Select All, then the same
menu 5                                         # New Folder
xdotool type --delay 60 trips
xdotool key Return
until_there "$DEVICE/R/letters/trips"
sleep 0.5
host_close
chosen="$(grep '^  context menu: ' "$WORK/shown" | cut -c17- | tr '\t\n' '#|')"
[ "$chosen" = "Lar&ge Icons|S&mall Icons|&List|&Details|&Name|&Size|&Type|&Date|R&efresh#F5|&Paste#Ctrl+V|\
&Backup#Ctrl+B|Backup &To...#Ctrl+Shift+B|&Restore#Ctrl+Alt+R|Restore &From...#Ctrl+Shift+R|\
Pellor P&roperties#Alt+Enter|&Help Topics#F1|Select by &Mask#Ctrl+M|&Invert Selection|&Invert Selection|\
Select &All#Ctrl+A|&Invert Selection|Ne&w Folder#Ctrl+Shift+N|" ] || fail "not every command was chosen"
expect "  view: mode 4, 4 items, 1 selected"
[ -f "$DEVICE/R/letters/pc.txt" ] && [ -d "$DEVICE/R/letters/trips" ] && [ ! -e "$DEVICE/R/letters/New Folder" ] ||
  fail "the pasted file or the folder 'trips' is not on the device"
echo "ok: every command of the view reached by Shift+F10 and the arrow keys, and a new folder named as it was made"
