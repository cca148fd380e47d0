#!/usr/bin/env bash
# Builds TovarelUSB, prepares the demo device in the simulated device library and runs the program:
# the x86 edition where this host runs 32-bit code, else the x64 one (TOVAREL_ARCH=x86 or x64 picks).
# With a display the window stays until you close it; without one the program runs on a virtual
# display, a screenshot is saved (path printed at the end) and the program is closed again.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
top=$(realpath -m "${BUILD_DIR:-$root/build}")
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"
tovarel_prepare
"$root/scripts/build.sh"
arch=${tovarel_run_archs[0]}
build=$top/$arch
echo "Running the $arch edition ($build/TovarelUSB.exe)"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" "$build"
demo=$top/demo
"$root/scripts/make-demo-device.sh" "$demo" >/dev/null
export TOVAREL_SIM_CONFIG=$demo/devices.conf

if [ -n "${DISPLAY:-}" ] && [ -z "${TOVAREL_HEADLESS:-}" ]; then
  exec wine "$build/TovarelUSB.exe"
fi

shot=${TOVAREL_SCREENSHOT:-$top/screenshot.png}
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/run-headless.sh" "$build" "$shot"
echo "Screenshots of the running program: $shot and ${shot%.png}-resized.png"
