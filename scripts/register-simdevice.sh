#!/usr/bin/env bash
# Writes "iTunesMobileDeviceDLL" and "InstallDir" into the Wine prefix named by $WINEPREFIX (or the
# build's prefix), pointing at the simulated device library: $1 the mobile device DLL, $2 the folder
# of CoreFoundation.dll.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
to_wine() { printf 'Z:%s' "$(realpath -m "$1" | sed 's#/#\\#g')"; }
md=$(to_wine "$1")
dir="$(to_wine "$2")\\"
wine reg add 'HKLM\SOFTWARE\Apple Inc.\Apple Mobile Device Support\Shared' /v iTunesMobileDeviceDLL /t REG_SZ /d "$md" /f >/dev/null
wine reg add 'HKLM\SOFTWARE\Apple Inc.\Apple Application Support' /v InstallDir /t REG_SZ /d "$dir" /f >/dev/null
wineserver -w
