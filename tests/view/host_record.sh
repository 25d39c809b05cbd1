#!/bin/bash
# pellor-host: in R:\letters Ctrl+A (the view's accelerator) selects both files; the record shows the view's
# menu and toolbar buttons merged into the host's, the selection in the status bar, and the focus the view itself
# puts in its list at each navigation, on the listing's first item.
set -euo pipefail
source "$(dirname "$0")/host-session.sh"

# Restore is offered only over a backup: one of the test's own, made by the console, in a backup folder of its own.
wine reg add "$SETTINGS_KEY" /v "Backup Path" /t REG_SZ /d "$(winepath -w "$WORK")\\backup" /f >/dev/null 2>&1
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/cli/pellor.exe" --port "COM$PC_COM" --yes backup "$(winepath -w "$WORK")\\backup" \
  >"$WORK/backup.log" 2>&1 </dev/null || { cat "$WORK/backup.log"; fail "the backup before the menus failed"; }
host_open_letters
xdotool key ctrl+a
sleep 0.5
host_close
expect "title: Corvanx:R:\\letters\\"
expect "  0: 2 object(s) selected"
expect '  Pellor: focus in SysListView32 "Pellor"'
expect '  Corvanx:R:\letters\: focus in SysListView32 "R:\letters"'
expect "  focused item: 0 ann.txt"
# The view's own menu items as the user reads them: words, key, help text, greyed where they cannot act.
while IFS= read -r line; do expect "$line"; done <<'EOF'
    40 Cu&t	Ctrl+X | Removes selected items and copies them onto Clipboard.
    41 &Copy	Ctrl+C | Copies selected items to Clipboard.
    42 &Paste	Ctrl+V [greyed] | Inserts items from Clipboard into selected location.
    43 &Delete	Del
    44 Rena&me	F2 [greyed]
    50 Select &All	Ctrl+A | Selects all items in the window.
    52 Select by &Mask	Ctrl+M
    51 &Invert Selection | Reverses which items are selected and which are not.
  Pel&lor
    10 &Backup	Ctrl+B | Saves all files from notetaker to PC.
    12 Backup &To...	Ctrl+Shift+B | Saves all files from notetaker to a folder on PC.
    13 &Restore	Ctrl+Alt+R | Restores all saved files from PC to notetaker.
    15 Restore &From...	Ctrl+Shift+R | Restores saved files from a folder on PC to notetaker.
    55 &Help Topics
EOF
for button in "[40] bitmap 12 enabled" "[41] bitmap 13 enabled" "[42] bitmap 14 disabled" "[43] bitmap 17 enabled"; do
  expect "  $button"
done
echo "ok: the view's menus, buttons, accelerators and status texts reached the host"
