#!/usr/bin/env bash
# Installs what is missing, then configures and builds everything into ./build (or $BUILD_DIR).
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build"
