#!/usr/bin/env bash
# Runs the benchmarks of one edition's build under Wine (they are not CTest tests):
#   scripts/run-benchmarks.sh [build/x86 | build/x64]          (default: the edition scripts/run.sh runs)
#   scripts/run-benchmarks.sh --goals [build/x86 | build/x64]  only the two cases below with goals
#   scripts/run-benchmarks.sh --small | --startup [build...]  only one of them
#
# The cases with goals, each a ratio against its floor measured in the same run, in interleaved
# rounds with medians (set TOVAREL_BENCH_ROUNDS for more or fewer than 11), printed in lines that
# start with capitals:
# - SMALL-FILE UPLOAD: 200 files of 32 KiB dropped in one folder, the simulated device at 1 ms a
#   call and 35 MB/s, from the drop until the copy dialog is gone (hidden as it ends), against the
#   same device calls made from memory; goal >= 85 %.
# - START-UP: from the start of the process until the main window is visible with the demo
#   device in its device list, against a bare dialog program (BareDialog.exe) under the same Wine and
#   display; goal <= x1.3. Measured twice: started from outside Wine as a desktop starts it (the
#   Wine loader included), and started from inside Wine with CreateProcessW. Inside Wine the main
#   window's template shown empty by a program that does nothing else (TemplateDialog.exe) is timed
#   too: what the window's own controls cost, which no work of the program can remove.
# A machine busy with other work slows both sides of a ratio, but not evenly: quote the load
# (`uptime`, printed first) with the figures.
#
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
goals=
case "${1:-}" in
  --goals | --small | --startup) goals=$1; shift ;;
esac
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
rounds=${TOVAREL_BENCH_ROUNDS:-11}
cmake --build "$build" --target ListingBenchmark SelectAllBenchmark UploadBenchmark DragOutBenchmark \
  StartupBenchmark >/dev/null
run() {
  timeout 1200 wine "$build/Testbed/Benchmarks/$1.exe" "${@:2}"
  # Each benchmark gets a Wine session of its own.
  wineserver -w
}

# Start-up from outside Wine: a watcher (started first, in a session kept by the first warm-up
# start) reports when the window showed; this shell notes when it started the program.
start_once() {  # app|bare -> milliseconds
  local program=$build/TovarelUSB.exe started shown line
  [ "$1" = bare ] && program=$build/Testbed/Benchmarks/BareDialog.exe
  coproc watcher { wine "$build/Testbed/Benchmarks/StartupBenchmark.exe" --watch "$1"; }
  read -r line <&"${watcher[0]}"
  started=$(date +%s.%N)
  TOVAREL_SIM_CONFIG=$demo/devices.conf wine "$program" >/dev/null 2>&1 &
  read -r shown <&"${watcher[0]}" || shown=
  wait "$watcher_PID" 2>/dev/null || true
  wait $! 2>/dev/null || true
  [ -n "$shown" ] || { echo "the $1 window did not show" >&2; return 1; }
  awk -v a="$started" -v b="$shown" 'BEGIN { printf "%.0f", (b - a) * 1000 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_startup() {
  demo=$build/bench-demo
  "$here/make-demo-device.sh" "$demo" >/dev/null
  # Keeps the Wine session up between the starts, as a desktop's session is.
  touch "$demo/session"
  wine "$build/Testbed/Benchmarks/StartupBenchmark.exe" --keep "Z:$demo/session" &
  local app bare ratios=() apps=() bares=()
  sleep 2
  start_once bare >/dev/null && start_once app >/dev/null  # warm-up, not counted
  for i in $(seq 1 "$rounds"); do
    if [ $((i % 2)) -eq 1 ]; then bare=$(start_once bare); app=$(start_once app)
    else app=$(start_once app); bare=$(start_once bare); fi
    apps+=("$app"); bares+=("$bare")
    ratios+=("$(awk -v a="$app" -v b="$bare" 'BEGIN { printf "%.3f", a / b }')")
    echo "  round $i: main window with its devices $app ms, bare dialog $bare ms: x${ratios[-1]}"
  done
  rm -f "$demo/session"
  wineserver -w
  echo "START-UP FROM OUTSIDE WINE, median of $rounds interleaved rounds: main window visible with its devices" \
    "$(printf '%s\n' "${apps[@]}" | median) ms, bare dialog $(printf '%s\n' "${bares[@]}" | median) ms;" \
    "RATIO x$(printf '%s\n' "${ratios[@]}" | median) of the bare dialog (goal <= x1.3)"
  run StartupBenchmark "Z:$build/TovarelUSB.exe" "$demo/devices.conf" "$rounds"
}

echo "Load: $(uptime)"
if [ -n "$goals" ]; then
  [ "$goals" = --startup ] || run UploadBenchmark --small "$rounds"
  [ "$goals" = --small ] || run_startup
  exit 0
fi
run ListingBenchmark
run SelectAllBenchmark
run UploadBenchmark
run UploadBenchmark --huge
run DragOutBenchmark
run UploadBenchmark --small "$rounds"
run_startup
