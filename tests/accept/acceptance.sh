#!/bin/bash
# A user's session from the keyboard alone in Wine's Explorer against the stand-in. After every step the device's
# disk and the PC folders are compared byte for byte with what the step should have left, a screenshot goes to
# $BUILD_DIR/screenshots/accept-NN-step.png, and a step that Wine's Explorer cannot carry says why.
set -uo pipefail
source "$(dirname "$0")/../../scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
OUT="$BUILD_DIR/screenshots" MODULE="$BUILD_DIR/shell/Pellor.dll"
# The user's PC folder, the configured backup folder (made by the backup), what the device should hold.
PC="$WORK/pc" BACKUP="$WORK/backup" EXPECT="$WORK/expect"
winpath() { echo "Z:${1//\//\\}"; }
PIDS=()
cleanup() {
  for w in $(xdotool search --onlyvisible --class explorer.exe 2>/dev/null); do
    xdotool key --window "$w" alt+F4 2>/dev/null
  done
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  wine regsvr32 /s /u "$MODULE" || true
  stand_in_stop
}
trap cleanup EXIT

STEP=0 FAILED=0 WINDOWS=0
until_true() {  # SECONDS COMMAND...: polls COMMAND five times a second
  local end=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -ge $end ] && return 1; sleep 0.2; done
}
# A transfer's progress dialog keeps the keys from the list while it is open.
dialogs_closed() { [ "$(xdotool search --onlyvisible --class explorer.exe | wc -l)" -le "$WINDOWS" ]; }
device_as_expected() { diff -r "$DEVICE" "$EXPECT" >/dev/null; }
# check NAME WHERE CHECK-TEXT COMMAND...: waits up to 30 s for COMMAND and for the device to be as expected,
# takes the screenshot and prints the step's row.
check() {
  local name="$1" where="$2" what="$3" result=ok; shift 3
  STEP=$((STEP + 1))
  until_true "${WAIT:-30}" "$@" || result=FAIL
  until_true 60 dialogs_closed || result=FAIL
  until_true 5 device_as_expected || { result=FAIL; diff -r "$DEVICE" "$EXPECT" | head -5; }
  sleep 0.5
  import -window root -crop 800x600+0+0 "$OUT/accept-$(printf %02d "$STEP")-$name.png"
  [ "$result" = FAIL ] && [ -n "${NOT_CARRIED:-}" ] && result="not carried, because $NOT_CARRIED"
  [ "$result" = FAIL ] && FAILED=1
  printf '%-3s %-22s %-9s %-46s %s\n' "$STEP" "$name" "$where" "$what" "$result"
}
keys() { xdotool key --delay 80 "$@"; }
typed() { xdotool type --delay 60 "$1"; }

# The PC side and the settings.
mkdir -p "$OUT" "$PC/trip"
printf 'Bus at 8:15\r\n' >"$PC/timetable.txt"
printf 'Day 1: Lisbon\r\n' >"$PC/trip/day1.txt"
head -c 3000 /dev/urandom >"$PC/trip/map.bin"
cp -a "$DEVICE" "$EXPECT"
wine reg add "$SETTINGS_KEY" /v "Backup Path" /t REG_SZ /d "$(winpath "$BACKUP")" /f >/dev/null 2>&1
wine regsvr32 /s "$MODULE"

# Wine's Explorer gives none of its panes the keyboard focus from the keyboard (no Tab order, no focus on
# opening a window or folder), so the list gets it with a click on its blank part; every command is a key.
focus_list() { xdotool mousemove --window "$1" "${EXPLORER_LIST_BLANK[@]}" click 1; sleep 0.3; }
# The PC files go on the clipboard as a Linux file manager puts them there (Wine turns text/uri-list into
# CF_HDROP): Wine's own folder view copies nothing. -quiet keeps xclip's pid the one to end; it ends by itself
# when the next one takes the clipboard.
clip_files() {
  printf 'file://%s\r\n' "$@" | xclip -quiet -selection clipboard -t text/uri-list >/dev/null 2>&1 &
  PIDS+=($!)
  sleep 0.5
}
# open_explorer TITLE [FOLDER]: a new Explorer window, its id in W.
open_explorer() {
  wine explorer ${2:+"$2"} >/dev/null 2>&1 </dev/null &
  PIDS+=($!) WINDOWS=$((WINDOWS + 1))
  W="$(explorer_window "$1")"
}

printf '%-3s %-22s %-9s %-46s %s\n' step name where check result
open_explorer '^Desktop$' || { echo "FAIL: Explorer's window did not appear"; exit 1; }
explorer_open "$W" my '^My Computer$'
check my-computer Explorer "title 'My Computer', device unchanged" explorer_wait_title "$W" '^My Computer$'
explorer_open "$W" pellor '^Pellor$'
check pellor Explorer "title 'Pellor', device unchanged" explorer_wait_title "$W" '^Pellor$'
explorer_open "$W" "r:\\l" '^Pellor\\R:\\letters$'
check open-letters Explorer "title 'R:\\letters', device unchanged" explorer_wait_title "$W" '^Pellor\\R:\\letters$'

focus_list "$W"; clip_files "$PC/timetable.txt"; keys ctrl+v
cp "$PC/timetable.txt" "$EXPECT/R/letters/"
check paste-pc-file Explorer "device timetable.txt = PC file (cmp)" cmp "$PC/timetable.txt" "$DEVICE/R/letters/timetable.txt"

focus_list "$W"; typed b; keys F2; sleep 0.5; typed 'dear bob.txt'; keys Return
mv "$EXPECT/R/letters/bob.txt" "$EXPECT/R/letters/dear bob.txt"
check rename Explorer "bob.txt is 'dear bob.txt', same bytes" test -f "$DEVICE/R/letters/dear bob.txt"

# Del asks once, with No the default: Return keeps the file, Y deletes it.
focus_list "$W"; typed a; keys Delete; sleep 0.5; keys Return; sleep 1
check delete-declined Explorer "Return at the question keeps everything" device_as_expected
focus_list "$W"; typed a; keys Delete; sleep 0.5; keys y
rm "$EXPECT/R/letters/ann.txt"
check delete Explorer "ann.txt gone, nothing else" test ! -e "$DEVICE/R/letters/ann.txt"

# The root of the device: a second Explorer window opens it.
open_explorer '^Desktop$' && explorer_open_pellor "$W"
focus_list "$W"; clip_files "$PC/trip"; keys ctrl+v
cp -r "$PC/trip" "$EXPECT/R/trip"
check paste-pc-folder Explorer "PC trip\\ = device R:\\trip (diff -r)" diff -r "$PC/trip" "$DEVICE/R/trip"

# The backup keeps one tree per drive: R:\letters\x lands in R\letters\, F:\books\y in F\books\; the
# device's special entry at the root stays out.
backup_done() { [ -f "$BACKUP/backup-restore.index" ] && diff -r -x backup-restore.index -x special "$BACKUP" "$EXPECT"; }
focus_list "$W"; keys ctrl+b
check backup Explorer "backup folder = device files (diff -r), index lists them" backup_done

cp -a "$EXPECT" "$WORK/expect-full"
focus_list "$W"; keys ctrl+a Delete; sleep 0.5; keys y
rm -rf "$EXPECT"/R/* "$EXPECT"/F/*
check empty Explorer "no file or folder left on R: or F:" device_as_expected

# An emptied device cannot list its root, so nobody knows whether a file
# would be replaced: the restore asks once, with Cancel the default; Shift+Tab reaches OK.
focus_list "$W"; keys ctrl+alt+r; sleep 1; keys shift+Tab Return
rm -rf "$EXPECT" && cp -a "$WORK/expect-full" "$EXPECT"
check restore Explorer "device = device before emptying (diff -r)" device_as_expected

# Last, as the PC folder's window stays open on top.
explorer_open "$W" "r:\\l" '^Pellor\\R:\\letters$'
focus_list "$W"; typed d; keys ctrl+c
open_explorer '^pc$' "$(winpath "$PC")" && { focus_list "$W"; keys ctrl+v; }
NOT_CARRIED="Ctrl+C in Pellor's view filled the clipboard, but Wine's PC folder view pastes nothing (no Ctrl+V, no context menu) and pellor-host shows only Pellor"
WAIT=8 check copy-to-pc Explorer "PC 'dear bob.txt' = device's (cmp)" cmp "$PC/dear bob.txt" "$DEVICE/R/letters/dear bob.txt"
exit "$FAILED"
