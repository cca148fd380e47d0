#!/usr/bin/env bash
# The whole test suite: install, decide which editions this host can run, test the scripts' own
# decisions, build both editions, then every test program under Wine on a virtual display, once for
# each edition that can run (TOVAREL_ARCH=x86 or x64 limits it to one). Arguments go to CTest.
# Fails when no edition can run, and when an edition ran no test program: success means the suite ran.
set -euo pipefail
root=$(dirname "$(dirname "$(realpath "$0")")")
build=$(realpath -m "${BUILD_DIR:-$root/build}")
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"
tovarel_prepare
bash "$root/Tests/Scripts/arch-test.sh"
"$root/scripts/build.sh"
summary=()
status=0
for arch in "${tovarel_run_archs[@]}"; do
  echo "=== Tests of the $arch edition ($build/$arch)"
  started=$SECONDS
  log=$build/$arch/ctest-summary.log
  result=0
  # Each test program starts and ends its own wineserver; a hung one is killed by its timeout.
  (source "$root/scripts/wine-env.sh" "$build/$arch" &&
    xvfb-run -a -s "-screen 0 1280x1024x24" \
      ctest --test-dir "$build/$arch" --output-on-failure --timeout 600 --no-tests=error "$@") 2>&1 |
    tee "$log" || result=$?
  ran=$(tovarel_ctest_count "$log")
  took="$((SECONDS - started)) s"
  if [ "$ran" -eq 0 ]; then
    summary+=("$arch: FAILED, no test program ran ($took)")
    status=1
  elif [ "$result" -ne 0 ]; then
    summary+=("$arch: FAILED ($ran test programs, $took)")
    status=1
  else
    summary+=("$arch: passed ($ran test programs, $took)")
  fi
done
echo "$tovarel_arch_note"
printf '%s\n' "${summary[@]}"
exit "$status"
