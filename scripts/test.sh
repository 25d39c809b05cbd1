#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
# The build makes the benchmarks (bench/) too, not run here: one that no longer compiles fails the run.
"$ROOT/scripts/build.sh"
# What the tests' programs keep for themselves (font caches, settings of X
# tools) stays in the build folder, not in the user's home.
export XDG_CACHE_HOME="$BUILD_DIR/xdg/cache" XDG_CONFIG_HOME="$BUILD_DIR/xdg/config" XDG_DATA_HOME="$BUILD_DIR/xdg/data"
"$ROOT/scripts/wine-prefix.sh" start
trap '"$ROOT/scripts/wine-prefix.sh" stop' EXIT
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 300 "$@"
