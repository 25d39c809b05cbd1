# Sourced by the console scripts, with sample-device.sh's switches: the sample device served by the stand-in
# note-taker on COM12, pellor on COM11 (or $PORT) run in $WORK/pc; the exit trap stops it and removes $WORK.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export BUILD_DIR="$PELLOR_BUILD_DIR" PC_COM=11 SIM_COM=12
WORK="$(mktemp -d)"
# pellor writes where the note-taker answered ("Last Port", "Last Baud"): the prefix's settings are put back.
KEY='HKCU\Software\Vostrel\Pellor'
settings() { WINEPREFIX="$BUILD_DIR/wineprefix" WINEDEBUG=-all wine reg "$@" >/dev/null 2>&1 || true; }
cleanup() {
  settings delete "$KEY" /f; [ ! -f "$WORK/settings.reg" ] || settings import "$WORK/settings.reg"
  "$ROOT/scripts/sim-pty.sh" stop; rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# The stand-in writes a received file once the batch has ended, a moment after the PC side: allow seconds.
settle() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; }
pellor() { (cd "$WORK/pc" && "$WINE_RUN" "$BUILD_DIR/cli/pellor.exe" --port "${PORT:-COM$PC_COM}" "$@"); }
settings export "$KEY" "$WORK/settings.reg"
"$ROOT/scripts/sample-device.sh" "$WORK/device" "$@"
mkdir -p "$WORK/pc"
"$ROOT/scripts/sim-pty.sh" start "$WORK/device" >/dev/null
