#!/usr/bin/env bash
# Inside a virtual display: start the program, wait for its window and the demo device, save a
# screenshot to $2, close the program and check that it ended cleanly.
set -euo pipefail
build=$1
shot=$2
driver=$build/e2e/TovarelDriver.exe
wine "$build/TovarelUSB.exe" &
program=$!
wine "$driver" wait-window "TovarelUSB" 60000 >/dev/null
# Give the device notice time to arrive and the first folder to be listed.
wine "$driver" wait-list-item "TovarelUSB" 1001 20000 >/dev/null 2>&1 || sleep 3
wine "$driver" screenshot "$build/screenshot.bmp" >/dev/null
convert "$build/screenshot.bmp" "$shot"
wine "$driver" close "TovarelUSB" >/dev/null
status=0
wait "$program" || status=$?
wineserver -w
if [ "$status" -ne 0 ]; then
  echo "TovarelUSB ended with status $status" >&2
  exit 1
fi
