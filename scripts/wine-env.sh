# Sourced by the project's scripts: the Wine settings every run and test uses.
#   $1: a build folder (default ./build/x86); WINEPREFIX defaults to the prefix inside it.
# The architecture is $TOVAREL_WINE_ARCH (x86 or x64) when set, else the build's (its CMake cache).
# x86 programs run in a 32-bit prefix, x64 programs in a 64-bit one. The 64-bit loader is called
# directly: Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is installed, even on a
# host that cannot run 32-bit code, and then fails for 64-bit programs too.
tovarel_wine_build=$(realpath -m "${1:-build/x86}")
if [ -z "${TOVAREL_WINE_ARCH:-}" ]; then
  TOVAREL_WINE_ARCH=$(sed -n 's/^TOVAREL_ARCH:INTERNAL=//p' "$tovarel_wine_build/CMakeCache.txt" 2>/dev/null || true)
fi
export TOVAREL_WINE_ARCH=${TOVAREL_WINE_ARCH:-x86}
if [ "$TOVAREL_WINE_ARCH" = x64 ]; then
  export WINEARCH=win64
  export WINELOADER=${TOVAREL_WINE64_LOADER:-/usr/lib/wine/wine64}
  wine() { "$WINELOADER" "$@"; }
else
  export WINEARCH=win32
  unset WINELOADER
  wine() { command wine "$@"; }
fi
wineboot() { wine wineboot "$@"; }
export -f wine wineboot
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-$tovarel_wine_build/wineprefix}
unset tovarel_wine_build
