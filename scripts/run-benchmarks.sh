#!/usr/bin/env bash
# Runs the benchmarks of a build under Wine (they are not CTest tests): scripts/run-benchmarks.sh [build]
# Prints the listing figures (whole time, ordering time and device calls per entry for 2,000 and
# 20,000 files, and their ratios); the select-all figures (Ctrl+A on 20,000 files in the main window
# and the click after it); then the drag-out figures (a 256 MiB file read through the contents stream
# against the latency model's ceiling, and the descriptors of a 10,000-entry folder tree).
set -euo pipefail
# Two benchmarks open windows, so they need a display; without one, every benchmark runs on the same
# virtual display (Wine keeps the display its first program found).
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$(realpath "$0")" "$@"
fi
here=$(dirname "$(realpath "$0")")
build=$(realpath -m "${1:-build}")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$build"
cmake --build "$build" --target ListingBenchmark SelectAllBenchmark DragOutBenchmark >/dev/null
for benchmark in ListingBenchmark SelectAllBenchmark DragOutBenchmark; do
  timeout 1200 wine "$build/Testbed/Benchmarks/$benchmark.exe"
  # Each benchmark gets a Wine session of its own.
  wineserver -w
done
