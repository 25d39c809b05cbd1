#!/bin/bash
# pellor as a user runs it, against the stand-in note-taker on a Wine COM port: list, fetch and send a 200 KB
# file byte for byte, the words for each failure, and fetches that fail, are killed or lose the device.
source "$(dirname "$0")/common.sh"
head -c 204800 /dev/urandom >"$WORK/device/R/notes/big.bin"
head -c 204800 /dev/urandom >"$WORK/pc/up.bin"
mkdir -p "$WORK/device/special" && : >"$WORK/device/special/clock"

pellor ident | grep "^model 5, name Corvanx, firmware 1.2, COM$PC_COM at 115200 baud" || fail ident
pellor ls 'R:\notes' | grep " 204800  big.bin" || fail "listing shows the 200 KB file"
pellor ls '\' | grep "<special>  clock  (the note-taker's own entry, not a file; not backed up)" || fail "special entry"
pellor get 'R:\notes\big.bin' . 2>/dev/null && cmp "$WORK/device/R/notes/big.bin" "$WORK/pc/big.bin" ||
  fail "get changed bytes"
pellor put up.bin 'R:\letters' 2>/dev/null && settle cmp -s "$WORK/pc/up.bin" "$WORK/device/R/letters/up.bin" ||
  fail "put changed bytes"
echo "ok: get and put of 204800 bytes, identical"

# A taken name is asked for: without a terminal and without --yes the answer is No, exit 1, the device's file kept.
echo "bob's new letter" >"$WORK/pc/bob.txt"
STATUS=0; pellor put bob.txt 'R:\letters' 2>"$WORK/err" || STATUS=$?
[ "$STATUS" = 1 ] && grep -qF 'Replace R:\letters\bob.txt on the note-taker? [y/N] N' "$WORK/err" &&
  grep -q 'Dear Bob' "$WORK/device/R/letters/bob.txt" || { cat "$WORK/err"; fail "put over a taken name"; }
pellor --yes put bob.txt 'R:\letters' 2>/dev/null && settle grep -q "new letter" "$WORK/device/R/letters/bob.txt" ||
  fail "put --yes over a taken name"
echo "ok: put over a taken name: No without --yes, replaced with it"

# The words for each failure: exit status 1 and a line that names the port, the PC path or the device path,
# and why; a failed get leaves no file.
mkdir -p "$WORK/device/F/notes"
PREFIX="$BUILD_DIR/wineprefix"
socat pty,raw,echo=0,link="$WORK/mute" pty,raw,echo=0,link="$WORK/mute2" 2>/dev/null </dev/null &
MUTE=$!
trap 'kill $MUTE; rm -f "$PREFIX/dosdevices/com13"; cleanup' EXIT
for _ in $(seq 50); do [ -e "$WORK/mute" ] && break; sleep 0.1; done
ln -sfn "$(readlink -f "$WORK/mute")" "$PREFIX/dosdevices/com13"
while IFS='|' read -r port words args; do
  STATUS=0
  eval "PORT=$port pellor $args" >/dev/null 2>"$WORK/err" || STATUS=$?
  [ "$STATUS" = 1 ] && grep -F "pellor: $words" "$WORK/err" || { cat "$WORK/err"; fail "$args: exit $STATUS"; }
done <<'EOF_'
COM9|COM9: there is no such serial port|ident
COM13|No note-taker answered on COM13. Is it on, connected, and in its PC-link mode?|ls
COM11|R:\letters\nobody.txt: no such file on the note-taker|get 'R:\letters\nobody.txt' .
COM11|Z:\|get 'R:\letters\ann.txt' 'up.bin\ann.txt'
COM11|R:\nothing: no such folder on the note-taker|ls 'R:\nothing'
COM11|R:\letters\ann.txt: is a file, not a folder|ls 'R:\letters\ann.txt'
COM11|R:\nothing: no such folder on the note-taker|put up.bin 'R:\nothing'
COM11|F:\notes: This folder of F: cannot be read: R: has a folder of the same name|ls 'F:\notes'
COM11|F:\letters: The other drive (R: or F:) has a folder of this name|mkdir 'F:\letters'
EOF_
[ ! -e "$WORK/pc/nobody.txt" ] || fail "a failed get left a file"
rmdir "$WORK/device/F/notes"
if pellor put up.bin 2>"$WORK/err" || ! grep -q 'usage: pellor' "$WORK/err"; then fail "put without a folder"; fi

# Each fault row starts the stand-in afresh with its switches; a get over the user's own file keeps it, whole
# or not at all, and never leaves a part file.
refault() { SIM_FAULTS="$1" "$ROOT/scripts/sim-pty.sh" start "$WORK/device" >/dev/null; }
while IFS='|' read -r fault status kept; do
  refault "$fault"
  echo "the user's own" >"$WORK/pc/keep.bin"
  STATUS=0; pellor get 'R:\notes\big.bin' keep.bin 2>/dev/null || STATUS=$?
  [ "$STATUS" = "$status" ] || fail "$fault: exit $STATUS"
  if [ "$kept" = old ]; then grep -q "the user's own" "$WORK/pc/keep.bin" || fail "$fault: the user's file is lost"
  else cmp -s "$WORK/pc/keep.bin" "$WORK/device/R/notes/big.bin" || fail "$fault: the file came wrong"; fi
  [ ! -e "$WORK/pc/keep.bin.pellor-part" ] || fail "$fault: a part file stayed"
  echo "ok: get with the stand-in's $fault: exit $STATUS, keep.bin $kept"
done <<'EOF_'
--fault vanish=64|1|old
--fault skip-block|1|old
--fault no-size|0|new
--fault empty-batch|1|old
EOF_

# A get killed midway leaves no file under the real name; the next get into that folder removes the part file.
refault "--fault slow=30"
(cd "$WORK/pc" && exec "$WINE_RUN" "$BUILD_DIR/cli/pellor.exe" --port COM$PC_COM get 'R:\notes\big.bin' killed.bin 2>/dev/null) &
GET=$!
for _ in $(seq 100); do [ -s "$WORK/pc/killed.bin.pellor-part" ] && break; sleep 0.1; done
kill -9 $GET; wait $GET || true
[ -e "$WORK/pc/killed.bin.pellor-part" ] && [ ! -e "$WORK/pc/killed.bin" ] || fail "a killed get left its file"
refault ""
pellor get 'R:\letters\ann.txt' . 2>/dev/null && [ ! -e "$WORK/pc/killed.bin.pellor-part" ] ||
  fail "the part file of a killed get stayed"
echo "ok: a killed get left no killed.bin; the next get removed killed.bin.pellor-part"

# A device that falls silent mid-file during a backup is asked nothing more: the rows after that file are
# named as not attempted.
SIM_TRACE=1 refault "--fault vanish=1"
STATUS=0; pellor backup bk 2>"$WORK/err" || STATUS=$?
UNANSWERED=$(grep -c 'unanswered' "$BUILD_DIR/sim-pty/sim.log" || true)
SKIPPED=$(grep -c '^pellor: not attempted: ' "$WORK/err" || true)
[ "$STATUS" = 1 ] && [ "$UNANSWERED" = 0 ] && [ "$SKIPPED" -ge 5 ] || fail "silent device: $UNANSWERED unanswered"
echo "ok: a device fallen silent in a backup: 1 failed row, $SKIPPED not attempted, $UNANSWERED commands unanswered"
