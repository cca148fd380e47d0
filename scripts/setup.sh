#!/usr/bin/env bash
# Installs everything needed to build, run and test TovarelUSB on Debian 12 (run as root).
# Idempotent: returns quickly when every package is already installed.
#
# Both editions are always built, so both compilers are needed everywhere. Wine's 32-bit side (the
# i386 packages) is installed only where the host can run 32-bit x86 code: some hosts cannot, and
# there the x64 edition alone is run.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  cmake make ninja-build googletest
  wine wine64 fonts-wine
  xvfb xauth x11-utils xdotool imagemagick file
  nsis zip unzip
  python3 fonts-dejavu-core
)
packages32=(wine32:i386 libwine:i386)

# A 93-byte static 32-bit x86 Linux program that exits with status 0: it runs only on a kernel
# that executes 32-bit code.
host_runs_32bit() {
  local probe status=0
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'\
'\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08'\
'\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0\xb8\x01\0\0\0\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return "$status"
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_of() {
  local p
  for p in "$@"; do
    installed "$p" || echo "$p"
  done
}

mapfile -t missing < <(missing_of "${packages[@]}")
missing32=()
if host_runs_32bit; then
  if dpkg --print-foreign-architectures | grep -qx i386; then
    mapfile -t missing32 < <(missing_of "${packages32[@]}")
  else
    missing32=("${packages32[@]}")
  fi
fi

if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages (${missing[*]} ${missing32[*]}); run this script as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
[ ${#missing32[@]} -eq 0 ] || dpkg --add-architecture i386
# A mirror in the middle of a sync fails some index files; what it did fetch is still good.
apt-get update -qq || echo "setup: some package lists could not be updated; going on with the others" >&2
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missing32[@]} -gt 0 ]; then
  echo "setup: installing ${missing32[*]}"
  # Without them only the x64 edition runs here, which the test run says at its start.
  apt-get install -y -qq --no-install-recommends "${missing32[@]}" >/dev/null ||
    echo "setup: Wine's 32-bit packages could not be installed; only the x64 edition will run" >&2
fi
