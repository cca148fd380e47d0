#!/usr/bin/env bash
# Runs the benchmarks of a build under Wine (they are not CTest tests): scripts/run-benchmarks.sh [build]
# Prints the listing figures: whole time, ordering time and device calls per entry for 2,000 and
# 20,000 files, and their ratios.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath -m "${1:-build}")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$build"
cmake --build "$build" --target ListingBenchmark >/dev/null
timeout 1200 wine "$build/Testbed/Benchmarks/ListingBenchmark.exe"
