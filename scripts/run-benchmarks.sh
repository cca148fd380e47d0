#!/usr/bin/env bash
# Runs the benchmarks of one edition's build under Wine (they are not CTest tests):
#   scripts/run-benchmarks.sh [build/x86 | build/x64]   (default: the edition scripts/run.sh runs)
# Prints the listing figures (whole time, ordering time and device calls per entry for 2,000 and
# 20,000 files, and their ratios); the select-all figures (Ctrl+A on 20,000 files in the main window
# and the click after it); the upload figures (the copy thread against the simulated device's model
# and against CopyFileW, and the peak working set of a 4 GiB upload); then the drag-out figures (a
# 256 MiB file read through the contents stream against the latency model's ceiling, and the
# descriptors of a 10,000-entry folder tree).
set -euo pipefail
# Most benchmarks open windows, so they need a display; without one, every benchmark runs on the same
# virtual display (Wine keeps the display its first program found).
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$(realpath "$0")" "$@"
fi
here=$(dirname "$(realpath "$0")")
if [ -z "${1:-}" ]; then
  # shellcheck source=arch.sh
  source "$here/arch.sh"
  tovarel_pick_archs || { echo "$tovarel_arch_note" >&2; exit 1; }
  set -- "$(dirname "$here")/build/${tovarel_run_archs[0]}"
fi
build=$(realpath -m "$1")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$build"
export TOVAREL_SIM_DIR="$build/sim"
cmake --build "$build" --target ListingBenchmark SelectAllBenchmark UploadBenchmark DragOutBenchmark >/dev/null
run() {
  timeout 1200 wine "$build/Testbed/Benchmarks/$1.exe" "${@:2}"
  # Each benchmark gets a Wine session of its own.
  wineserver -w
}
run ListingBenchmark
run SelectAllBenchmark
run UploadBenchmark
run UploadBenchmark --huge
run DragOutBenchmark
