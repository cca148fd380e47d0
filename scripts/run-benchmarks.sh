#!/usr/bin/env bash
# Runs the benchmarks of a build under Wine (they are not CTest tests): scripts/run-benchmarks.sh [build]
# Prints the listing figures (whole time, ordering time and device calls per entry for 2,000 and
# 20,000 files, and their ratios) and the upload figures (the copy thread against the simulated
# device's model and against CopyFileW, and the peak working set of a 4 GiB upload).
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath -m "${1:-build}")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$build"
cmake --build "$build" --target ListingBenchmark UploadBenchmark >/dev/null
timeout 1200 wine "$build/Testbed/Benchmarks/ListingBenchmark.exe"
# The upload benchmark runs the program's window: it needs a display, and a Wine that was not started
# without one (the server of the run before stays a few seconds).
wineserver -w
export TOVAREL_SIM_DIR="$build/sim"
timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" wine "$build/Testbed/Benchmarks/UploadBenchmark.exe"
timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" wine "$build/Testbed/Benchmarks/UploadBenchmark.exe" --huge
