#!/bin/bash
# pellor-host: in R:\letters Ctrl+A (the view's accelerator) selects both files; the record shows the view's
# menu and toolbar buttons merged into the host's and the selection in the status bar.
set -euo pipefail
source "$(dirname "$0")/host-session.sh"

host_open_letters
xdotool key ctrl+a
sleep 0.5
host_close
expect "title: Corvanx:R:\\letters\\"
expect "  0: 2 object(s) selected"
expect "  Pel&lor"
expect "    40 Cu&t	Ctrl+X | Removes selected items and copies them onto Clipboard."  # enabled over the selection
for button in "[40] bitmap 12 enabled" "[41] bitmap 13 enabled" "[42] bitmap 14 disabled" "[43] bitmap 17 enabled"; do
  expect "  $button"
done
echo "ok: the view's menus, buttons, accelerators and status texts reached the host"
