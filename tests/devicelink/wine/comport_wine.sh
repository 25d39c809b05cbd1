#!/bin/bash
# A socat pseudo-terminal pair, one end linked as the Wine prefix's COM5, a
# peer on the other end that sends back every line reversed, and the probe.
set -euo pipefail
PROBE="$1"
WORK="$(mktemp -d)"
PREFIX="$PELLOR_BUILD_DIR/wineprefix"
cleanup() {
  kill "${PEER:-}" "${SOCAT:-}" 2>/dev/null || true
  rm -f "$PREFIX/dosdevices/com5"
  rm -rf "$WORK"
}
trap cleanup EXIT
socat pty,raw,echo=0,link="$WORK/pc" pty,raw,echo=0,link="$WORK/dev" 2>"$WORK/socat.log" &
SOCAT=$!
for _ in $(seq 50); do [ -e "$WORK/dev" ] && [ -e "$WORK/pc" ] && break; sleep 0.1; done
mkdir -p "$PREFIX/dosdevices"
ln -sfn "$(readlink -f "$WORK/pc")" "$PREFIX/dosdevices/com5"
python3 - "$WORK/dev" "$WORK/ready" <<'PY' &
import os, sys, termios, tty
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
tty.setraw(fd, termios.TCSANOW)  # TCSAFLUSH would throw away bytes already sent
open(sys.argv[2], "w").close()
line = b""
while True:
    chunk = os.read(fd, 256)
    if not chunk:
        break
    line += chunk
    while b"\n" in line:
        one, line = line.split(b"\n", 1)
        os.write(fd, one[::-1] + b"\n")
PY
PEER=$!
for _ in $(seq 50); do [ -e "$WORK/ready" ] && break; sleep 0.1; done
"$WINE_RUN" "$PROBE"
