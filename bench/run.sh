#!/bin/bash
# The transfer benchmark in one run: the engine against the stand-in
# note-taker over the in-memory line (paced, then unpaced), and lrzsz sb -> rb
# as the peer figure, over a relay paced like the line and unpaced.
# Usage: bench/run.sh [bytes]   (BUILD_DIR as for scripts/build.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
SIZE="${1:-1048576}"
# The benchmarks are left out of the test command's build.
cmake --build "$BUILD_DIR" --target ymodem_bench view_bench thread_bench -j"$(nproc)" >/dev/null
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/ymodem_bench.exe" "$SIZE"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/thread_bench.exe"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
head -c "$SIZE" /dev/urandom >"$WORK/bench.bin"
mkdir "$WORK/out"
# sb and rb joined by socat over pipes: on a pty pair rb drops input after
# its "C" and can lose its last ACK on exit (see tests/devicelink/lrzsz/).
# Seconds for one sb -> rb batch of FILE, with RELAY in front of rb; checks the copy.
batch() {  # file relay
  rm -f "$WORK/out/$(basename "$1")"
  local start end
  start=$(date +%s.%N)
  (cd "$WORK/out" && timeout 300 socat EXEC:"sb --ymodem -k -q $1" SYSTEM:"$2 rb --ymodem -q")
  end=$(date +%s.%N)
  cmp -s "$1" "$WORK/out/$(basename "$1")" && touch "$WORK/ok" || rm -f "$WORK/ok"
  awk -v s="$start" -v e="$end" 'BEGIN { print e - s }'
}
# lrzsz spends about three seconds on a batch's start and end: the rate is
# taken over the batch's time less that of an empty file's batch.
lrzsz() {  # what, relay
  local empty full
  empty=$(batch "$WORK/empty.bin" "$2")
  full=$(batch "$WORK/bench.bin" "$2")
  local state="FAIL"
  [ -f "$WORK/ok" ] && state="ok  "
  awk -v n="$SIZE" -v f="$full" -v z="$empty" -v what="$1" -v st="$state" -v pace="$PACE" 'BEGIN {
    r = n / (f - z)
    if (what ~ /unpaced/) printf "%-34s %s  %7.2f MB/s  (batch %.2f s less an empty batch %.2f s)\n", what, st, r / 1e6, f, z
    else printf "%-34s %s  %7.0f B/s = %.4f of the line'"'"'s pace  (batch %.1f s less an empty batch %.1f s)\n", what, st, r, r / pace, f, z }'
}
: >"$WORK/empty.bin"
# The in-memory line's pace at 115200 baud (86 us a byte), for the paced lrzsz run.
PACE=11628
lrzsz "lrzsz sb -> rb, paced 115200 baud" "python3 $ROOT/bench/pace.py $PACE |"
lrzsz "lrzsz sb -> rb, unpaced" ""
