#!/bin/bash
# pellor-host with Pellor.dll against the stand-in, driven from the keyboard:
# R:\letters is opened by typing "r" and Return, Ctrl+A (the view's
# accelerator, routed by the host) selects both files, and the host's record
# must show the view's menu and toolbar buttons merged into the host's own,
# and the selection in the status bar.
# Usage: tests/view/host_record.sh   (BUILD_DIR or PELLOR_BUILD_DIR)
set -euo pipefail
source "$(dirname "$0")/../../scripts/stand-in.sh"
source "$ROOT/scripts/explorer-nav.sh"
fail() { echo "FAIL: $*"; exit 1; }

"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/host/pellor-host.exe" --record >"$WORK/record" 2>&1 </dev/null &
HOST=$!
trap '{ kill "$HOST" 2>/dev/null || true; stand_in_stop; }' EXIT
W="$(explorer_window '^Pellor$' pellor-host.exe)" || fail "the host's window did not appear"
sleep 0.5
xdotool type --delay 60 r
xdotool key Return
explorer_wait_title "$W" '^Corvanx:R:\\letters\\$' || fail "Return did not open R:\\letters"
xdotool key ctrl+a
sleep 0.5
xdotool key alt+F4
wait
tr -d '\r' <"$WORK/record" | tee "$WORK/shown"
expect() { grep -qxF -- "$1" "$WORK/shown" || fail "the record lacks '$1'"; }
expect "title: Corvanx:R:\\letters\\"
expect "  0: 2 object(s) selected"
expect "  Pel&lor"
for button in "[40] bitmap 12 enabled" "[41] bitmap 13 enabled" "[42] bitmap 14 disabled" "[43] bitmap 17 enabled"; do
  expect "  $button"
done
echo "ok: the view's menus, buttons, accelerators and status texts reached the host"
