# Sourced by the project's scripts: the Wine settings every run and test uses.
# WINEPREFIX defaults to the prefix inside the build folder given as $1 (or ./build).
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$(realpath -m "${1:-build}")/wineprefix}
