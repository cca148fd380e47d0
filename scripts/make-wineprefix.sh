#!/usr/bin/env bash
# Creates (once) the 32-bit Wine prefix given as $1 and registers the simulated device library in it:
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
touch "$prefix/.tovarel-ready"
