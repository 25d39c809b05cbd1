#!/bin/bash
# The stand-in note-taker as its own Wine process on COM7, one end of a socat
# pseudo-terminal pair; the probe finds it on COM6, the other end, which the
# prefix's serial-port map lists (a pty linked as a COM port is not in it).
# Usage: notetaker_wine.sh PROBE SIM
set -euo pipefail
PROBE="$1" SIM="$2"
WORK="$(mktemp -d)"
PREFIX="$PELLOR_BUILD_DIR/wineprefix"
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
KEY='HKCU\Software\Vostrel\Pellor'
settings() { WINEPREFIX="$PREFIX" WINEDEBUG=-all wine reg "$@" >/dev/null 2>&1 || true; }
cleanup() {
  kill "${SIMPID:-}" "${SOCAT:-}" 2>/dev/null || true
  rm -f "$PREFIX/dosdevices/com6" "$PREFIX/dosdevices/com7"
  # The probe wrote where the note-taker answered: the prefix's settings are put back.
  settings delete "$KEY" /f; [ ! -f "$WORK/settings.reg" ] || settings import "$WORK/settings.reg"
  BUILD_DIR="$PELLOR_BUILD_DIR" "$ROOT/scripts/port-map.sh"
  rm -rf "$WORK"
}
trap cleanup EXIT
socat pty,raw,echo=0,link="$WORK/pc" pty,raw,echo=0,link="$WORK/dev" 2>"$WORK/socat.log" &
SOCAT=$!
for _ in $(seq 50); do [ -e "$WORK/dev" ] && [ -e "$WORK/pc" ] && break; sleep 0.1; done
mkdir -p "$PREFIX/dosdevices"
ln -sfn "$(readlink -f "$WORK/pc")" "$PREFIX/dosdevices/com6"
ln -sfn "$(readlink -f "$WORK/dev")" "$PREFIX/dosdevices/com7"

# The device's store: two letters in R:\letters, a folder on F:.
mkdir -p "$WORK/store/R/letters" "$WORK/store/F/books"
printf 'Dear Ann,\r\n' >"$WORK/store/R/letters/ann.txt"
head -c 1500 /dev/zero >"$WORK/store/R/letters/bob.brl"

"$WINE_RUN" "$SIM" --port COM7 --baud 115200 --model 5 --firmware 1.2 --root "Z:$WORK/store" --seconds 60 \
  >"$WORK/sim.log" 2>&1 &
SIMPID=$!
for _ in $(seq 100); do grep -q "pellor-sim:" "$WORK/sim.log" 2>/dev/null && break; sleep 0.1; done
cat "$WORK/sim.log"
settings export "$KEY" "$WORK/settings.reg"
BUILD_DIR="$PELLOR_BUILD_DIR" "$ROOT/scripts/port-map.sh" COM6
"$WINE_RUN" "$PROBE" auto 5 Corvanx
