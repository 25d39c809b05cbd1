#!/bin/bash
# The device side from a console: install what is missing, build, put the
# stand-in note-taker with a small sample device on a Wine COM port, and use
# it through the console front end `pellor` as a user would.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" >/dev/null
"$ROOT/scripts/wine-prefix.sh" start
WORK="$(mktemp -d)"
cleanup() {
  "$ROOT/scripts/sim-pty.sh" stop
  "$ROOT/scripts/wine-prefix.sh" stop
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
"$ROOT/scripts/sample-device.sh" "$WORK/device"
mkdir -p "$WORK/pc"
"$ROOT/scripts/sim-pty.sh" start "$WORK/device"

pellor() {
  echo "> pellor $*"
  (cd "$WORK/pc" && "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/cli/pellor.exe" --port COM3 "$@")
}
pellor ident
pellor ls '\'
pellor ls 'R:\letters'
pellor get 'R:\letters\ann.txt' .
cmp "$WORK/device/R/letters/ann.txt" "$WORK/pc/ann.txt" && echo "  ann.txt arrived byte for byte"
printf 'A note written on the PC.\r\n' >"$WORK/pc/from pc.txt"
pellor put 'from pc.txt' 'R:\notes'
pellor ls 'R:\notes'
