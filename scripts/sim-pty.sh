#!/bin/bash
# Puts the stand-in note-taker on a Wine COM port: a socat pseudo-terminal
# pair whose one end is COM$PC_COM (default 3) for Pellor and whose other
# end is COM$SIM_COM (default 4) for pellor-sim, serving the folder STORE.
# Usage: sim-pty.sh start STORE | stop        (BUILD_DIR as for build.sh)
# SIM_FAULTS passes fault switches, such as "--fault vanish=64", to pellor-sim.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
PREFIX="$BUILD_DIR/wineprefix"
STATE="$BUILD_DIR/sim-pty"
PC_COM="${PC_COM:-3}"
SIM_COM="${SIM_COM:-4}"
BAUD="${SIM_BAUD:-115200}"

stop() {
  for f in sim socat; do
    [ -f "$STATE/$f.pid" ] && kill "$(cat "$STATE/$f.pid")" 2>/dev/null || true
    rm -f "$STATE/$f.pid"
  done
  rm -f "$PREFIX/dosdevices/com$PC_COM" "$PREFIX/dosdevices/com$SIM_COM"
}

case "${1:-}" in
  start)
    STORE="$(readlink -f "$2")"
    stop
    mkdir -p "$STATE" "$PREFIX/dosdevices"
    rm -f "$STATE/pc" "$STATE/dev"
    socat pty,raw,echo=0,link="$STATE/pc" pty,raw,echo=0,link="$STATE/dev" 2>"$STATE/socat.log" </dev/null &
    echo $! >"$STATE/socat.pid"
    for _ in $(seq 50); do [ -e "$STATE/dev" ] && [ -e "$STATE/pc" ] && break; sleep 0.1; done
    ln -sfn "$(readlink -f "$STATE/pc")" "$PREFIX/dosdevices/com$PC_COM"
    ln -sfn "$(readlink -f "$STATE/dev")" "$PREFIX/dosdevices/com$SIM_COM"
    "$BUILD_DIR/wine-run.sh" "$BUILD_DIR/sim/pellor-sim.exe" --port "COM$SIM_COM" --baud "$BAUD" \
      --model "${SIM_MODEL:-5}" --firmware "${SIM_FIRMWARE:-1.2}" --root "Z:$STORE" ${SIM_TRACE:+--trace} ${SIM_FAULTS:-} >"$STATE/sim.log" 2>&1 </dev/null &
    echo $! >"$STATE/sim.pid"
    for _ in $(seq 100); do grep -q "pellor-sim:" "$STATE/sim.log" 2>/dev/null && break; sleep 0.1; done
    head -3 "$STATE/sim.log"
    ;;
  stop) stop ;;
  *) echo "usage: $0 start STORE | stop" >&2; exit 2 ;;
esac
