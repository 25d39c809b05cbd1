#!/bin/bash
# The transfer benchmark in one run: the engine against the stand-in
# note-taker over the in-memory line (paced, then unpaced), and lrzsz sb -> rb
# over a socat pty pair as the peer figure for the unpaced rate.
# Usage: bench/run.sh [bytes]   (BUILD_DIR as for scripts/build.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
SIZE="${1:-1048576}"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/ymodem_bench.exe" "$SIZE"

WORK="$(mktemp -d)"
trap 'kill "${SOCAT:-}" 2>/dev/null || true; rm -rf "$WORK"' EXIT
socat pty,raw,echo=0,link="$WORK/a" pty,raw,echo=0,link="$WORK/b" 2>/dev/null &
SOCAT=$!
for _ in $(seq 50); do [ -e "$WORK/a" ] && [ -e "$WORK/b" ] && break; sleep 0.1; done
head -c "$SIZE" /dev/urandom >"$WORK/bench.bin"
mkdir "$WORK/out"
start=$(date +%s.%N)
(cd "$WORK/out" && rb --ymodem -q <"$WORK/b" >"$WORK/b") &
sb --ymodem -k -q "$WORK/bench.bin" <"$WORK/a" >"$WORK/a"
wait
end=$(date +%s.%N)
cmp -s "$WORK/bench.bin" "$WORK/out/bench.bin" && state="ok  " || state="FAIL"
awk -v n="$SIZE" -v s="$start" -v e="$end" -v st="$state" \
  'BEGIN { printf "%-34s %s  %7.2f MB/s  (whole batch %.2f s)\n", "lrzsz sb -> rb, socat pty", st, n / (e - s) / 1e6, e - s }'
