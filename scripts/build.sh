#!/bin/bash
# Configures and builds into ${BUILD_DIR:-build}.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
# A compiler cache, where the machine has one, makes a second work tree's first build quick.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" \
      -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "${launcher[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
