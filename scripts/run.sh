#!/usr/bin/env bash
# Builds TovarelUSB, prepares the demo device in the simulated device library and runs the program.
# With a display the window stays until you close it; without one the program runs on a virtual
# display, a screenshot is saved (path printed at the end) and the program is closed again.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" "$build"
demo=$build/demo
"$root/scripts/make-demo-device.sh" "$demo" >/dev/null
export TOVAREL_SIM_CONFIG=$demo/devices.conf

if [ -n "${DISPLAY:-}" ] && [ -z "${TOVAREL_HEADLESS:-}" ]; then
  exec wine "$build/TovarelUSB.exe"
fi

shot=${TOVAREL_SCREENSHOT:-$build/screenshot.png}
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/run-headless.sh" "$build" "$shot"
echo "Screenshots of the running program: $shot and ${shot%.png}-resized.png"
