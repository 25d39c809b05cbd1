#!/bin/bash
# Runs one script test, SCRIPT ARGS..., in a process group of its own. ctest
# stops a test at its time-out by killing this wrapper alone, and no exit trap
# of the script runs: the next script test's start stops the group that was
# left and clears what it held (the prefix's programs the script started, the
# stand-in, COM links to pseudo-terminals that are gone; the stand-in's start
# puts back the settings it changed), so that one hang fails one entry. A
# registration left behind is harmless: the tests that need one make it.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="$PELLOR_BUILD_DIR" WINEPREFIX="$PELLOR_BUILD_DIR/wineprefix" WINEDEBUG=-all
MARK="$BUILD_DIR/script-test.running"

clear_leftovers() {
  local name group
  read -r name group <"$MARK"
  echo "clearing what $name left when it was stopped"
  kill -KILL -- "-$group" 2>/dev/null
  "$ROOT/scripts/sim-pty.sh" stop
  for link in "$WINEPREFIX"/dosdevices/com*; do
    if [ -L "$link" ] && [ ! -e "$link" ]; then rm -f -- "$link"; fi
  done
  rm -f "$MARK"
}

if [ -f "$MARK" ]; then clear_leftovers; fi
setsid bash "$@" &
child=$!
echo "$(basename "$1") $child" >"$MARK"
wait "$child"
status=$?
rm -f "$MARK"
exit "$status"
