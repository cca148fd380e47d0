#!/usr/bin/env bash
# Runs the benchmarks of a build under Wine (they are not CTest tests): scripts/run-benchmarks.sh [build]
# Prints the listing figures (whole time, ordering time and device calls per entry for 2,000 and
# 20,000 files, and their ratios), then the select-all figures (Ctrl+A on 20,000 files in the main
# window and the click after it). The second opens a window: without a display it runs on a virtual one.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath -m "${1:-build}")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$build"
cmake --build "$build" --target ListingBenchmark SelectAllBenchmark >/dev/null
timeout 1200 wine "$build/Testbed/Benchmarks/ListingBenchmark.exe"
# A Wine session started without a display cannot show windows: let it end before the next one.
wineserver -w
display=()
if [ -z "${DISPLAY:-}" ]; then display=(xvfb-run -a -s "-screen 0 1280x1024x24"); fi
timeout 1200 "${display[@]}" wine "$build/Testbed/Benchmarks/SelectAllBenchmark.exe"
