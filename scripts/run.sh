#!/bin/bash
# The product's main job as far as it is built: build everything and show
# what the module exports and what the serial port does on a real Wine COM port.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh"
echo "Pellor.dll exports:"
x86_64-w64-mingw32-objdump -p "$BUILD_DIR/shell/Pellor.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
"$ROOT/scripts/wine-prefix.sh" start
trap '"$ROOT/scripts/wine-prefix.sh" stop' EXIT
PELLOR_BUILD_DIR="$BUILD_DIR" WINE_RUN="$BUILD_DIR/wine-run.sh" \
  bash "$ROOT/tests/devicelink/wine/comport_wine.sh" "$BUILD_DIR/tests/comport_wine_probe.exe"
