#!/usr/bin/env bash
# The whole test suite: install, build both editions, then every test program under Wine on a
# virtual display, once for each edition this host can run (TOVAREL_ARCH=x86 or x64 limits it to
# one). Arguments go to CTest.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"
tovarel_pick_archs
echo "$tovarel_arch_note"
"$root/scripts/build.sh"
summary=()
status=0
for arch in "${tovarel_run_archs[@]}"; do
  echo "=== Tests of the $arch edition ($build/$arch)"
  started=$SECONDS
  # Each test program starts and ends its own wineserver; a hung one is killed by its timeout.
  if (source "$root/scripts/wine-env.sh" "$build/$arch" &&
      xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "$build/$arch" --output-on-failure --timeout 600 "$@"); then
    summary+=("$arch: passed ($((SECONDS - started)) s)")
  else
    summary+=("$arch: FAILED ($((SECONDS - started)) s)")
    status=1
  fi
done
echo "$tovarel_arch_note"
printf '%s\n' "${summary[@]}"
exit "$status"
