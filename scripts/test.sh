#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh"
"$ROOT/scripts/wine-prefix.sh" start
trap '"$ROOT/scripts/wine-prefix.sh" stop' EXIT
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 900 "$@"
