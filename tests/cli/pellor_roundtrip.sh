#!/bin/bash
# A whole device through pellor and the stand-in note-taker on a Wine COM port: a first backup killed halfway
# leaves a backup that restores, and the next backup fetches only the rest; folders three levels deep, a file
# named as one in a folder of the other drive, past a special entry; a second backup of the unchanged device
# fetches nothing, a third the one changed file; the drives are wiped, the restore brings back every byte and
# the backup after it fetches nothing. An F: folder named like one of R: is left out, and the backup says why.
# A folder deleted on the device: its copies move aside, and a restore does not send them.
export SIM_TRACE=1
source "$(dirname "$0")/common.sh" --round-trip
SIM_LOG="$BUILD_DIR/sim-pty/sim.log"
sent() { grep -c '\] sent ' "$SIM_LOG" || true; }
now() { date +%s.%N; }
# expect STATUS FILES ARGS...: runs pellor with ARGS (stdin $ANSWER); fails unless it exits with STATUS and
# the stand-in sent FILES files ("-": any number). Sets SECONDS_TAKEN and FETCHED.
expect() {
  local want="$1" files="$2" before start status=0
  shift 2; before=$(sent); start=$(now)
  pellor "$@" >"$WORK/out" 2>"$WORK/err" <"${ANSWER:-/dev/null}" || status=$?
  SECONDS_TAKEN=$(awk -v s="$start" -v e="$(now)" 'BEGIN { printf "%.2f", e - s }')
  FETCHED=$(( $(sent) - before ))
  [ "$status" = "$want" ] || { cat "$WORK/err"; fail "pellor $*: exit status $status"; }
  [ "$files" = - ] || [ "$FETCHED" = "$files" ] || fail "pellor $*: fetched $FETCHED files, not $files"
}
device_files() { (cd "$WORK/device" && find R F -type f | sort); }
# Index lines of files the next backup fetches again (the newest minute; what a restore sent in it).
recent() { tr -d '\r' <"$WORK/pc/backup/backup-restore.index" | grep -c "^recent .*${1:-}" || true; }
index_files() { tr -d '\r' <"$WORK/pc/backup/backup-restore.index" | sed -n 's/^\(file\|recent\) [0-9]* [0-9]* [^|]*|//p'; }
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
NAMED=$(cd "$WORK/pc/backup" && find . -path './Removed from the note-taker' -prune -o -type f \
  ! -name 'backup-restore.index*' ! -name '*.pellor-*' -print | wc -l)
[ "$NAMED" = "$KEPT" ] || fail "the killed backup left a file its index does not name"
expect 0 - --yes restore backup
echo "first backup killed: its index names $KEPT files, whole; a restore from it sent them"

expect 0 $(( FILES - KEPT + $(recent) )) --yes backup backup  # the files the killed backup did not keep, and recent ones
grep -q 'not backed up (special entry): clock' "$WORK/err" || fail "the special entry is not named"
[ "$(index_files | wc -l)" = "$FILES" ] || fail "index lines"
for f in R/letters/ann.txt F/mail/ann.txt R/notes/deep/deeper/plan.brl; do
  cmp "$WORK/device/$f" "$WORK/pc/backup/$f" || fail "$f"
done
echo "backup after it: fetched $FETCHED files (the other $(( FILES - KEPT )), and the restored ones recorded as recent)," \
  "$SECONDS_TAKEN s"
expect 0 - ls -r '\'
LISTING=$SECONDS_TAKEN

# The question is answered No: with no input, and with an "n" typed.
printf 'n\n' >"$WORK/no"
for ANSWER in /dev/null "$WORK/no"; do expect 1 0 backup backup; done
unset ANSWER

expect 0 "$(recent)" --yes backup backup  # the device unchanged
echo "incremental backup, nothing changed: fetched $FETCHED files (recorded as recent), $SECONDS_TAKEN s; whole listing (ls -r) $LISTING s," \
  "ratio $(awk -v a="$SECONDS_TAKEN" -v b="$LISTING" 'BEGIN { printf "%.2f", a / b }')"

printf 'P.S. One more line.\r\n' >>"$WORK/device/R/notes/deep/outline.txt"
expect 0 $(( $(recent) + 1 - $(recent 'outline.txt$') )) --yes backup backup
grep '\] sent ' "$SIM_LOG" | tail -n "$FETCHED" | sed 's/^.*\] /  /' | grep 'outline.txt' || fail "the changed file was not fetched"
cmp "$WORK/device/R/notes/deep/outline.txt" "$WORK/pc/backup/R/notes/deep/outline.txt" || fail "changed copy"
echo "incremental backup, one file changed: fetched $FETCHED files (it and the recent ones), $SECONDS_TAKEN s"

cp -r "$WORK/device" "$WORK/before"
rm -rf "$WORK/device/R/"* "$WORK/device/F/"*
expect 0 - restore backup
settle diff -r -q "$WORK/before" "$WORK/device" >/dev/null || { diff -r "$WORK/before" "$WORK/device"; fail "restore differs"; }
echo "restore into the wiped drives: $FILES files, $SECONDS_TAKEN s; diff -r: identical"
expect 0 "$(recent)" --yes backup backup  # after the restore: the files of its last minute

mkdir "$WORK/device/F/letters"
printf 'kept on F:\r\n' >"$WORK/device/F/letters/fee.txt"
expect 1 - --yes backup backup
cat "$WORK/err"
grep -q 'F:\\letters (a folder of F: not backed up: R: has a folder of the same name' "$WORK/err" ||
  fail "F:\\letters is not named with the reason"
[ ! -e "$WORK/pc/backup/F/letters" ] || fail "something was stored under F\\letters"

# A folder deleted on the device by mistake: the backup moves its copies aside, and a restore does not send them.
rm -rf "$WORK/device/F/letters" "$WORK/device/R/notes"
expect 0 - --yes backup backup
tr '\r' '\n' <"$WORK/err" | sed 's/Received: [^)]*) *//g' | grep -v '^ *$'
ASIDE=$(cd "$WORK/pc/backup/Removed from the note-taker" && find . -type f | sort)
echo "backup after R:\notes was deleted: moved aside under Removed from the note-taker:"
echo "$ASIDE" | sed 's/^/  /'
[ "$(echo "$ASIDE" | grep -c '/R/notes/')" = "$(cd "$WORK/before/R/notes" && find . -type f | wc -l)" ] ||
  fail "not every copy of R:\notes was moved aside"
[ ! -e "$WORK/pc/backup/R/notes" ] || fail "R\notes is still in the backup"
RECEIVED=$(grep -c '\] received ' "$SIM_LOG" || true)
expect 0 - --yes restore backup
[ ! -e "$WORK/device/R/notes" ] || fail "the restore sent what was moved aside"
echo "restore after it: sent $(( $(grep -c '\] received ' "$SIM_LOG") - RECEIVED )) files, R:\notes stays deleted"
