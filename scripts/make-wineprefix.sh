#!/usr/bin/env bash
# Creates (once) the Wine prefix given as $1 (32- or 64-bit, as scripts/wine-env.sh says) and registers the simulated device library in it:
#   $2 = the simulated mobile device DLL, $3 = the folder that holds the simulated CoreFoundation.dll.
# Writes the registry values where Apple's installer would, so the program finds the library as usual.
set -euo pipefail
prefix=$(realpath -m "$1")
md_dll=$(realpath -m "$2")
cf_dir=$(realpath -m "$3")
here=$(dirname "$(realpath "$0")")
# shellcheck source=wine-env.sh
export WINEPREFIX=$prefix
source "$here/wine-env.sh"

if [ ! -f "$prefix/system.reg" ]; then
  echo "Creating the Wine prefix $prefix"
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
"$here/register-simdevice.sh" "$md_dll" "$cf_dir"
# Without a window manager, Wine waits two seconds for every managed window that is hidden or
# destroyed. The fault sweep opens and closes hundreds of boxes and dialogs: for that one test
# program Wine manages no window, so nothing waits for a window manager that is not there.
wine reg add 'HKCU\Software\Wine\AppDefaults\FaultSweepTests.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
wineserver -w
touch "$prefix/.tovarel-ready"
