#!/bin/bash
# A whole device through pellor and the stand-in note-taker on a Wine COM
# port: a first backup killed halfway leaves a backup that restores, and the
# next backup fetches only the rest; folders three levels deep, a file named
# as one in a folder of the other drive, past a special entry; a second
# backup of the unchanged device fetches nothing, a third fetches the one
# changed file; the drives are wiped, the restore brings back every byte and
# the backup after it fetches nothing. An F: folder named like one of R:
# cannot be read over the cable: the backup leaves it out and says why.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="$PELLOR_BUILD_DIR" PC_COM=11 SIM_COM=12 SIM_TRACE=1
WORK="$(mktemp -d)"
cleanup() { "$ROOT/scripts/sim-pty.sh" stop; rm -rf "$WORK"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
settle() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; }

"$ROOT/scripts/sample-device.sh" "$WORK/device" --round-trip
mkdir -p "$WORK/pc"
"$ROOT/scripts/sim-pty.sh" start "$WORK/device" >/dev/null
SIM_LOG="$BUILD_DIR/sim-pty/sim.log"
pellor() { (cd "$WORK/pc" && "$WINE_RUN" "$BUILD_DIR/cli/pellor.exe" --port COM$PC_COM "$@"); }
sent() { grep -c '\] sent ' "$SIM_LOG" || true; }
now() { date +%s.%N; }
# Runs pellor with the rest of the arguments; sets SECONDS_TAKEN, FETCHED, STATUS.
timed() {
  local before start
  before=$(sent); start=$(now)
  STATUS=0
  pellor "$@" >"$WORK/out" 2>"$WORK/err" <"${ANSWER:-/dev/null}" || STATUS=$?
  SECONDS_TAKEN=$(awk -v s="$start" -v e="$(now)" 'BEGIN { printf "%.2f", e - s }')
  FETCHED=$(( $(sent) - before ))
}
device_files() { (cd "$WORK/device" && find R F -type f | sort); }
index_files() { tr -d '\r' <"$WORK/pc/backup/backup-restore.index" | sed -n 's/^\(file\|recent\) [0-9]* [0-9]* //p'; }
FILES=$(device_files | wc -l)

# Killed while the 27 KB lecture.brl arrives, the fifth file (about 2 s on the line).
(cd "$WORK/pc" && exec "$WINE_RUN" "$BUILD_DIR/cli/pellor.exe" --port COM$PC_COM backup backup) \
  >/dev/null 2>&1 </dev/null &
KILLED=$!
settle grep -q '\] sent .*shopping.txt' "$SIM_LOG" || fail "the first backup did not start"
kill -KILL "$KILLED"
wait "$KILLED" 2>/dev/null || true
settle grep -q 'send of .*lecture.brl.* failed' "$SIM_LOG" || fail "the kill did not land while lecture.brl was sent"
KEPT=$(index_files | wc -l)
[ "$KEPT" -ge 1 ] && [ "$KEPT" -lt "$FILES" ] || fail "the killed backup's index lists $KEPT files"
index_files | while read -r f; do
  p="${f:0:1}/${f:3}"; p="${p//\\//}"
  cmp -s "$WORK/device/$p" "$WORK/pc/backup/$p" || fail "killed backup: $f differs"
done
NAMED=$(cd "$WORK/pc/backup" && find . -type f ! -name 'backup-restore.index*' ! -name '*.pellor-*' | wc -l)
[ "$NAMED" = "$KEPT" ] || fail "the killed backup left a file its index does not name"
timed --yes restore backup
[ "$STATUS" = 0 ] || { cat "$WORK/err"; fail "restore from the killed backup exit status $STATUS"; }
echo "first backup killed: its index names $KEPT files, whole; a restore from it sent them"

timed --yes backup backup
[ "$STATUS" = 0 ] || { cat "$WORK/err"; fail "first backup exit status $STATUS"; }
grep -q 'not backed up (special entry): clock' "$WORK/err" || fail "the special entry is not named"
[ "$FETCHED" = $(( FILES - KEPT )) ] || fail "the backup after the killed one fetched $FETCHED, not $FILES - $KEPT"
echo "backup after it: fetched the other $FETCHED files, $SECONDS_TAKEN s"
[ "$(index_files | wc -l)" = "$FILES" ] || fail "index lines"
cmp "$WORK/device/R/letters/ann.txt" "$WORK/pc/backup/R/letters/ann.txt" || fail "R:\\letters\\ann.txt"
cmp "$WORK/device/F/mail/ann.txt" "$WORK/pc/backup/F/mail/ann.txt" || fail "F:\\mail\\ann.txt"
cmp "$WORK/device/R/notes/deep/deeper/plan.brl" "$WORK/pc/backup/R/notes/deep/deeper/plan.brl" || fail "three levels down"

timed ls -r '\'
LISTING=$SECONDS_TAKEN
[ "$STATUS" = 0 ] || fail "ls -r"

# The question is answered No: with no input, and with an "n" typed.
printf 'n\n' >"$WORK/no"
for ANSWER in /dev/null "$WORK/no"; do
  timed backup backup
  [ "$STATUS" = 1 ] || fail "a backup answered No from $ANSWER exits $STATUS"
  [ "$FETCHED" = 0 ] || fail "a backup answered No from $ANSWER fetched $FETCHED files"
done
unset ANSWER

timed --yes backup backup
[ "$STATUS" = 0 ] || { cat "$WORK/err"; fail "second backup exit status $STATUS"; }
[ "$FETCHED" = 0 ] || fail "the backup of the unchanged device fetched $FETCHED files"
echo "incremental backup, nothing changed: fetched 0 files, $SECONDS_TAKEN s; whole listing (ls -r) $LISTING s," \
  "ratio $(awk -v a="$SECONDS_TAKEN" -v b="$LISTING" 'BEGIN { printf "%.2f", a / b }')"

printf 'P.S. One more line.\r\n' >>"$WORK/device/R/notes/deep/outline.txt"
timed --yes backup backup
[ "$STATUS" = 0 ] || { cat "$WORK/err"; fail "third backup exit status $STATUS"; }
grep '\] sent ' "$SIM_LOG" | tail -n "$FETCHED" | sed 's/^.*\] /  /'
[ "$FETCHED" = 1 ] || fail "one changed file, $FETCHED fetched"
grep '\] sent ' "$SIM_LOG" | tail -n 1 | grep -q 'outline.txt' || fail "the changed file was not the one fetched"
SIZE=$(stat -c %s "$WORK/device/R/notes/deep/outline.txt")
echo "incremental backup, one file changed: fetched 1 file, $SIZE bytes, $SECONDS_TAKEN s"
cmp "$WORK/device/R/notes/deep/outline.txt" "$WORK/pc/backup/R/notes/deep/outline.txt" || fail "changed copy"

cp -r "$WORK/device" "$WORK/before"
rm -rf "$WORK/device/R/"* "$WORK/device/F/"*
timed restore backup
[ "$STATUS" = 0 ] || { cat "$WORK/err"; fail "restore exit status $STATUS"; }
settle diff -r -q "$WORK/before" "$WORK/device" >/dev/null || { diff -r "$WORK/before" "$WORK/device"; fail "restore differs"; }
echo "restore into the wiped drives: $FILES files, $SECONDS_TAKEN s; diff -r: identical"
timed --yes backup backup
[ "$STATUS" = 0 ] && [ "$FETCHED" = 0 ] || fail "the backup after the restore: status $STATUS, fetched $FETCHED files"
echo "backup after the restore: fetched 0 files"

mkdir "$WORK/device/F/letters"
printf 'kept on F:\r\n' >"$WORK/device/F/letters/fee.txt"
timed --yes backup backup
cat "$WORK/err"
[ "$STATUS" = 1 ] || fail "a backup that left F:\\letters out exits $STATUS"
grep -q 'F:\\letters (a folder of F: not backed up: R: has a folder of the same name' "$WORK/err" ||
  fail "F:\\letters is not named with the reason"
[ ! -e "$WORK/pc/backup/F/letters" ] || fail "something was stored under F\\letters"
