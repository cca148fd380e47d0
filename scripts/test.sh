#!/usr/bin/env bash
# The whole test suite: install, build, then every test program under Wine on a virtual display.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" "$build"
# Each test program starts and ends its own wineserver; a hung one is killed by its timeout.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
