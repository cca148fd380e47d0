#!/usr/bin/env bash
# Inside a virtual display: start the program on the demo device, read what its window shows, browse
# into "My Documents", save a screenshot to $2, close the program and check that it ended cleanly.
set -euo pipefail
build=$1
shot=$2
drive() { wine "$build/e2e/TovarelDriver.exe" "$@"; }

wine "$build/TovarelUSB.exe" &
program=$!
drive wait-window "TovarelUSB" 60000 >/dev/null
# The device arrives on the library's own thread; wait until its first folder is listed.
for _ in $(seq 1 60); do
  [ -n "$(drive list "TovarelUSB" 1001 2>/dev/null)" ] && break
  sleep 0.5
done
drive select "TovarelUSB" 1000 "My Documents" >/dev/null
sleep 1
echo "Devices:";   drive list "TovarelUSB" 1018 | sed 's/^/  /'
echo "Locations:"; drive list "TovarelUSB" 1019 | sed 's/^/  /'
echo "Folders:";   drive tree "TovarelUSB" 1000 | sed 's/^/  /'
echo "Files:";     drive list "TovarelUSB" 1001 | sed 's/^/  /'
drive screenshot "${shot%.png}.bmp" >/dev/null
convert "${shot%.png}.bmp" "$shot"
# The same window made larger: the panes and the fixed controls follow the new size.
drive resize "TovarelUSB" 1000 700 >/dev/null
sleep 1
drive screenshot "${shot%.png}.bmp" >/dev/null
convert "${shot%.png}.bmp" "${shot%.png}-resized.png"
rm -f "${shot%.png}.bmp"
drive close "TovarelUSB" >/dev/null
status=0
wait "$program" || status=$?
wineserver -w
if [ "$status" -ne 0 ]; then
  echo "TovarelUSB ended with status $status" >&2
  exit 1
fi
