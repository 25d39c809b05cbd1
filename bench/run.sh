#!/bin/bash
# The benchmarks in one run: detection against silent ports; the engine against the stand-in
# note-taker over the in-memory line (paced, then unpaced), and lrzsz sb -> rb
# as the peer figure, over a relay paced like the line and unpaced; the
# paced engine runs again beside two busy processes; and the processor time
# of `pellor ls` waiting on a silent port, Wine's server included.
# Usage: bench/run.sh [bytes] | --ls   (--ls: the silent port alone; BUILD_DIR as for scripts/build.sh)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
SIZE="${1:-1048576}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
# `pellor ls` against a port where nobody answers: the whole wait for the
# device at every rate. Its own processor time and that of the prefix's Wine
# server (found by its working folder, which Wine names after the prefix).
silent_ls() {
  local prefix="$BUILD_DIR/wineprefix" com=17 server_dir pid ws="" before after
  server_dir="server-$(printf '%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")"
  for pid in $(pgrep wineserver); do
    case "$(readlink "/proc/$pid/cwd")" in */"$server_dir") ws=$pid ;; esac
  done
  socat pty,raw,echo=0,link="$WORK/pc" pty,raw,echo=0,link="$WORK/dev" </dev/null 2>/dev/null &
  local socat=$!
  for _ in $(seq 50); do [ -e "$WORK/pc" ] && break; sleep 0.1; done
  ln -sfn "$(readlink -f "$WORK/pc")" "$prefix/dosdevices/com$com"
  server_ticks() { [ -n "$ws" ] && awk '{ print $14 + $15 }' "/proc/$ws/stat" || echo 0; }
  before=$(server_ticks)
  /usr/bin/time -f "%U %S %e" -o "$WORK/ls.time" "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/cli/pellor.exe" \
    --port "COM$com" ls 'R:\' >/dev/null 2>&1 || true
  after=$(server_ticks)
  kill "$socat"
  rm -f "$prefix/dosdevices/com$com"
  read -r user sys wall < <(tail -n 1 "$WORK/ls.time")  # after "Command exited with non-zero status"
  awk -v u="$user" -v s="$sys" -v w="$wall" -v ws="$(( after - before ))" -v found="${ws:+yes}" 'BEGIN {
    printf "%-34s %.2f s of processor in %.1f s: pellor %.3f of a core, Wine server %s\n", \
      "pellor ls on a silent port", u + s + ws / 100, w, (u + s) / w, \
      found ? sprintf("%.3f", ws / 100 / w) : "not found" }'
}
if [ "$SIZE" = "--ls" ]; then silent_ls; exit 0; fi
cmake --build "$BUILD_DIR" --target ymodem_bench view_bench thread_bench detect_bench listing_bench -j"$(nproc)" >/dev/null
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/detect_bench.exe"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/ymodem_bench.exe" "$SIZE"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/thread_bench.exe"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/listing_bench.exe"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
busy() { while :; do :; done; }
busy & BUSY1=$!
busy & BUSY2=$!
echo "beside two busy processes:"
"$BUILD_DIR/wine-run.sh" "$BUILD_DIR/tests/ymodem_bench.exe" "$SIZE" paced | tail -n +3
kill "$BUSY1" "$BUSY2"

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

silent_ls
