#!/bin/bash
# pellor as a user runs it, against the stand-in note-taker on a Wine COM
# port: list, fetch and send a 200 KB file byte for byte (backup and restore:
# pellor_roundtrip.sh).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="$PELLOR_BUILD_DIR" PC_COM=11 SIM_COM=12
WORK="$(mktemp -d)"
cleanup() { "$ROOT/scripts/sim-pty.sh" stop; rm -rf "$WORK"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# The stand-in writes a received file once the batch has ended, a moment
# after the PC side is done: give a loaded machine a few seconds.
settle() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; }

"$ROOT/scripts/sample-device.sh" "$WORK/device"
head -c 204800 /dev/urandom >"$WORK/device/R/notes/big.bin"
mkdir -p "$WORK/pc"
"$ROOT/scripts/sim-pty.sh" start "$WORK/device"
pellor() { (cd "$WORK/pc" && "$WINE_RUN" "$BUILD_DIR/cli/pellor.exe" --port COM$PC_COM "$@"); }

pellor ident | tee "$WORK/out" && grep -q "^model 5, name Corvanx, firmware 1.2, COM$PC_COM at 115200 baud" "$WORK/out" || fail ident
pellor ls 'R:\notes' | tee "$WORK/out"
grep -q " 204800  big.bin" "$WORK/out" || fail "listing shows the 200 KB file"

pellor get 'R:\notes\big.bin' . 2>/dev/null
cmp "$WORK/device/R/notes/big.bin" "$WORK/pc/big.bin" || fail "get changed bytes"
echo "ok: get of 204800 bytes, identical"
head -c 204800 /dev/urandom >"$WORK/pc/up.bin"
pellor put up.bin 'R:\letters' 2>/dev/null
settle cmp -s "$WORK/pc/up.bin" "$WORK/device/R/letters/up.bin" || fail "put changed bytes"
echo "ok: put of 204800 bytes, identical"

if pellor get 'R:\letters\nobody.txt' . 2>"$WORK/err"; then fail "a missing file was fetched"; fi
cat "$WORK/err"
[ ! -e "$WORK/pc/nobody.txt" ] || fail "a failed get left a file"

