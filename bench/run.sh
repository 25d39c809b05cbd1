#!/bin/bash
# The transfer benchmark in one run: the engine against the stand-in
# note-taker over the in-memory line (paced, then unpaced), and lrzsz sb -> rb
# as the peer figure for the unpaced rate.
# Usage: bench/run.sh [bytes]   (BUILD_DIR as for scripts/build.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
SIZE="${1:-1048576}"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/ymodem_bench.exe" "$SIZE"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
head -c "$SIZE" /dev/urandom >"$WORK/bench.bin"
mkdir "$WORK/out"
# sb and rb joined by socat over pipes: on a pty pair rb drops input after
# its "C" and can lose its last ACK on exit (see tests/devicelink/lrzsz/).
start=$(date +%s.%N)
(cd "$WORK/out" && timeout 120 socat EXEC:"sb --ymodem -k -q $WORK/bench.bin" EXEC:"rb --ymodem -q")
end=$(date +%s.%N)
cmp -s "$WORK/bench.bin" "$WORK/out/bench.bin" && state="ok  " || state="FAIL"
awk -v n="$SIZE" -v s="$start" -v e="$end" -v st="$state" \
  'BEGIN { printf "%-34s %s  %7.2f MB/s  (whole batch %.2f s)\n", "lrzsz sb -> rb, unpaced", st, n / (e - s) / 1e6, e - s }'
