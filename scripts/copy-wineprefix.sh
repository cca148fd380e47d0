#!/usr/bin/env bash
# Copies the prepared Wine prefix $1 to $2 and sets the copy's scale to $3 DPI (the LogPixels that
# Wine reads when a process starts), for tests of the program at another scale than 96 DPI.
# The architecture comes from $TOVAREL_WINE_ARCH, as in scripts/wine-env.sh.
set -euo pipefail
from=$(realpath -m "$1")
to=$(realpath -m "$2")
dpi=$3
here=$(dirname "$(realpath "$0")")

rm -rf "$to"
cp -a "$from" "$to"
rm -f "$to/.tovarel-ready"
export WINEPREFIX=$to
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
# The main window's tests make and destroy a window for every case; with no window manager, Wine
# would wait two seconds for each (make-wineprefix.sh says more). Managed windows at 96 DPI, they run
# unmanaged here: these runs are about the scale. Set without a display: a Wine session started
# without one keeps a screen of its own size until its server ends, so the server must be gone
# before the tests start theirs on a display.
(
  unset DISPLAY
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wine reg add 'HKCU\Software\Wine\AppDefaults\MainWindowTests.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
)
wineserver -w
touch "$to/.tovarel-ready"
