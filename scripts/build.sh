#!/usr/bin/env bash
# Installs what is missing, then configures and builds both editions: the x86 program into
# ./build/x86 and the x64 program into ./build/x64 (under $BUILD_DIR instead of ./build when set).
# The release files of both go to ./build/release. A Wine prefix with the simulated device library
# is prepared only for an edition this host can run.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"
# The test and run commands have installed already (tovarel_prepare); a build of its own installs here.
[ -n "${TOVAREL_SETUP_DONE:-}" ] || "$root/scripts/setup.sh"
declare -A toolchain=([x86]=mingw-i686 [x64]=mingw-x86_64)
for arch in "${tovarel_all_archs[@]}"; do
  runs=OFF
  tovarel_can_run "$arch" && runs=ON
  cmake -S "$root" -B "$build/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain[$arch]}.cmake" \
    -DTOVAREL_PREPARE_WINE=$runs -DTOVAREL_RELEASE_DIR="$build/release" >/dev/null
  echo "Building the $arch edition in $build/$arch"
  cmake --build "$build/$arch"
done
