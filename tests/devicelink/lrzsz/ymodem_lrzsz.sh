#!/bin/bash
# The engine against lrzsz, an independent YModem, over a real Wine COM port:
# the engine receives what `sb --ymodem` sends (1K blocks with -k, 128-byte
# blocks without) and sends to `rb --ymodem`, one batch per file; every file
# must arrive byte for byte and every transfer must end with success.
#
# The PC end is a pty linked as the Wine prefix's COM8. lrzsz runs on pipes
# behind a small relay rather than on the pty's other end: rb exits right
# after its last ACK and its tty clean-up can throw that ACK away unread,
# and it purges its tty input after each "C"; pipes do neither.
#
# What the test tolerates from lrzsz: its block 0 carries modification time,
# mode and serial number after the size (the engine reads the size and
# ignores the rest), sb may put a short tail in a 1K block, and rb asks for
# CRC only, so the checksum mode is left to the in-memory tests.
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

# Starts the relay: COM8's pty on one side, the given commands one after
# another on the other, each on pipes; what the PC sends between two commands
# is lost, as on a line with no listener.
start_relay() {  # folder to run in, commands...
  rm -f "$LINK"
  python3 - "$LINK" "$WORK/relay.log" "$@" <<'PY' &
import os, select, subprocess, sys, termios, tty
link, log, cwd, commands = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
master, slave = os.openpty()
tty.setraw(slave, termios.TCSANOW)
os.symlink(os.ttyname(slave), link)
with open(log, "a") as errors:
    for command in commands:
        child = subprocess.Popen(command, shell=True, cwd=cwd, stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=errors)
        out, into = child.stdout.fileno(), child.stdin.fileno()
        while True:
            ready, _, _ = select.select([master, out], [], [], 1.0)
            if master in ready:
                data = os.read(master, 65536)
                try:
                    os.write(into, data)
                except BrokenPipeError:
                    pass
            if out in ready:
                data = os.read(out, 65536)
                if not data:
                    break
                os.write(master, data)
        errors.write("%s: exit %d\n" % (command, child.wait()))
        errors.flush()
PY
  RELAY=$!
  for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
}

# The block edges, and one file past 256 blocks of either size (300 KiB and a
# 7-byte tail), so block numbers wrap; YMODEM_BIG_SIZE asks for a bigger one.
SIZES="0 1 127 128 129 1023 1024 1025 ${YMODEM_BIG_SIZE:-307207}"
mkdir -p "$WORK/src"
for n in $SIZES; do head -c "$n" /dev/urandom >"$WORK/src/f$n.bin"; done
winpath() { echo "Z:${1//\//\\}"; }

failures=0
run_probe() {  # label, probe arguments...
  local label="$1"
  shift
  if ! "$WINE_RUN" "$PROBE" "$@" | sed "s/^/  $label: /"; then failures=$((failures + 1)); fi
  wait "$RELAY" || true
}
check_dir() {  # label, folder with the received files
  for n in $SIZES; do
    if cmp -s "$WORK/src/f$n.bin" "$2/f$n.bin"; then echo "ok   $1: $n bytes identical"
    else echo "FAIL $1: $n bytes differ or missing"; failures=$((failures + 1)); fi
  done
}

receive_from_sb() {  # label, sb option for the block size
  local out="$WORK/rx$1" commands=() targets=()
  mkdir -p "$out"
  for n in $SIZES; do
    commands+=("timeout 120 sb --ymodem -q $2 '$WORK/src/f$n.bin'")
    targets+=("$(winpath "$out/f$n.bin")")
  done
  start_relay "$WORK" "${commands[@]}"
  run_probe "sb $1" rx "$COM" "${targets[@]}"
  check_dir "sb -> engine, $1 blocks" "$out"
}

send_to_rb() {
  local out="$WORK/tx" commands=() sources=()
  mkdir -p "$out"
  for n in $SIZES; do
    commands+=("timeout 120 rb --ymodem -q")
    sources+=("$(winpath "$WORK/src/f$n.bin")")
  done
  start_relay "$out" "${commands[@]}"
  run_probe "rb" tx "$COM" "${sources[@]}"
  check_dir "engine -> rb" "$out"
}

receive_from_sb 1K -k
receive_from_sb 128 ""
send_to_rb
if [ "$failures" -ne 0 ]; then tail -n 30 "$WORK/relay.log"; fi
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
