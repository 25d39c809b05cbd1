#!/bin/bash
# The engine against lrzsz over a real Wine COM port: it receives from `sb --ymodem` (1K blocks with -k)
# and sends to `rb --ymodem`, one batch per file; every file must arrive whole, every transfer succeed.
# lrzsz runs on pipes behind a relay: on the pty itself rb's tty clean-up can drop its last ACK.
set -euo pipefail
PROBE="$1"
COM=8
WORK="$(mktemp -d)"
PREFIX="$PELLOR_BUILD_DIR/wineprefix"
LINK="$PREFIX/dosdevices/com$COM"
cleanup() {
  kill "${RELAY:-}" 2>/dev/null || true
  rm -f "$LINK"
  rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -p "$PREFIX/dosdevices"

# COM8's pty on one side, the commands one after another on pipes on the other.
start_relay() {  # folder to run in, commands...
  rm -f "$LINK"
  printf '%s\n' "cd '$1'" "${@:2}" >"$WORK/relay.sh"
  socat pty,raw,echo=0,link="$LINK" EXEC:"bash -x $WORK/relay.sh",pipes 2>>"$WORK/relay.log" &
  RELAY=$!
  for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
}

# The block edges, and one file past 256 blocks of either size (block numbers wrap).
SIZES="0 1 127 128 129 1023 1024 1025 ${YMODEM_BIG_SIZE:-307207}"
mkdir -p "$WORK/src"
for n in $SIZES; do head -c "$n" /dev/urandom >"$WORK/src/f$n.bin"; done
winpath() { echo "Z:${1//\//\\}"; }

failures=0
transfer() {  # label, rx|tx, sb option for the block size
  local out="$WORK/$2${3:-128}" commands=() paths=()
  mkdir -p "$out"
  for n in $SIZES; do
    if [ "$2" = rx ]; then
      commands+=("timeout 120 sb --ymodem -q ${3:-} '$WORK/src/f$n.bin'")
      paths+=("$(winpath "$out/f$n.bin")")
    else
      commands+=("timeout 120 rb --ymodem -q")
      paths+=("$(winpath "$WORK/src/f$n.bin")")
    fi
  done
  start_relay "$out" "${commands[@]}"
  if ! "$WINE_RUN" "$PROBE" "$2" "$COM" "${paths[@]}" | sed "s/^/  $1: /"; then failures=$((failures + 1)); fi
  wait "$RELAY" || true
  for n in $SIZES; do
    if cmp -s "$WORK/src/f$n.bin" "$out/f$n.bin"; then echo "ok   $1: $n bytes identical"
    else echo "FAIL $1: $n bytes differ or missing"; failures=$((failures + 1)); fi
  done
}

transfer "sb -> engine, 1K blocks" rx -k
transfer "sb -> engine, 128 blocks" rx
transfer "engine -> rb" tx
if [ "$failures" -ne 0 ]; then tail -n 30 "$WORK/relay.log"; fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
