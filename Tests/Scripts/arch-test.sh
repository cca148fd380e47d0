#!/usr/bin/env bash
# The scripts' own decisions, on a scratch folder instead of this machine's Wine: which editions run
# with no loader, a loader that fails and working ones; that the test and run commands install before
# they decide; and CTest's count read from its closing line. Needs nothing installed.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
root=$(dirname "$(dirname "$here")")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

passed=0
failed=0
check() {  # check <what> <condition, a shell expression>
  local what=$1
  if eval "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}
contains() { [[ $1 == *"$2"* ]]; }

# A loader that answers --version, one that fails, and the state of each edition's loader path.
make_loader() {  # make_loader <path> works|fails|plain
  mkdir -p "$(dirname "$1")"
  case $2 in
    works) printf '#!/bin/sh\necho wine-8.0\n' >"$1"; chmod +x "$1" ;;
    fails) printf '#!/bin/sh\necho "Exec format error" >&2\nexit 126\n' >"$1"; chmod +x "$1" ;;
    plain) printf 'not a program\n' >"$1"; chmod -x "$1" ;;
  esac
}

# Runs the decision in a fresh shell with the loaders in folder $1; prints "status|list|note".
decide() {  # decide <folder> [VAR=value...]
  local dir=$1
  shift
  env -u TOVAREL_ARCH "$@" TOVAREL_WINE32_LOADER="$dir/wine" TOVAREL_WINE64_LOADER="$dir/wine64" \
    bash -c 'source "$0/scripts/arch.sh"; tovarel_pick_archs; s=$?; echo "$s|${tovarel_run_archs[*]}|$tovarel_arch_note"' "$root"
}

# --- Which editions run ---------------------------------------------------------------------------
none=$scratch/none
IFS='|' read -r s list note < <(decide "$none")
check "no loader: nothing runs" '[ "$s" = 1 ] && [ -z "$list" ]'
check "no loader: the note says so for each edition" 'contains "$note" "x86: no Wine loader at $none/wine"'
check "no loader: x64 named too" 'contains "$note" "x64: no Wine loader at $none/wine64"'

failing=$scratch/failing
make_loader "$failing/wine" fails
make_loader "$failing/wine64" fails
IFS='|' read -r s list note < <(decide "$failing")
check "failing loaders: nothing runs" '[ "$s" = 1 ] && [ -z "$list" ]'
check "failing loaders: the note tells a failing loader from a missing one" \
  'contains "$note" "x86: its Wine loader $failing/wine fails"'

plain=$scratch/plain
make_loader "$plain/wine" plain
make_loader "$plain/wine64" works
IFS='|' read -r s list note < <(decide "$plain")
check "x64 only: the list" '[ "$s" = 0 ] && [ "$list" = x64 ]'
check "x64 only: the note gives x86's reason" 'contains "$note" "no Wine loader at $plain/wine"'

mixed=$scratch/mixed
make_loader "$mixed/wine" fails
make_loader "$mixed/wine64" works
IFS='|' read -r s list note < <(decide "$mixed")
check "32-bit loader failing: x64 alone" '[ "$s" = 0 ] && [ "$list" = x64 ] && contains "$note" "fails"'

both=$scratch/both
make_loader "$both/wine" works
make_loader "$both/wine64" works
IFS='|' read -r s list note < <(decide "$both")
check "both loaders: both run, x86 first" '[ "$s" = 0 ] && [ "$list" = "x86 x64" ]'

IFS='|' read -r s list note < <(decide "$both" TOVAREL_ARCH=x64)
check "TOVAREL_ARCH=x64 limits to x64" '[ "$s" = 0 ] && [ "$list" = x64 ]'
IFS='|' read -r s list note < <(decide "$mixed" TOVAREL_ARCH=x86)
check "TOVAREL_ARCH=x86 where x86 cannot run fails" '[ "$s" = 1 ] && [ -z "$list" ] && contains "$note" "x86"'
IFS='|' read -r s list note < <(decide "$both" TOVAREL_ARCH=arm64)
check "an unknown TOVAREL_ARCH fails and is named" '[ "$s" = 1 ] && contains "$note" "arm64"'

# --- Install first, then decide -------------------------------------------------------------------
# A fresh machine: the loaders are not there until the set-up step puts them there.
fresh=$scratch/fresh
setup=$scratch/setup.sh
printf '#!/bin/sh\nmkdir -p "%s"\nfor l in wine wine64; do printf "#!/bin/sh\\nexit 0\\n" >"%s/$l"; chmod +x "%s/$l"; done\n' \
  "$fresh" "$fresh" "$fresh" >"$setup"
chmod +x "$setup"
prepare() {  # prepare <folder> <setup> -> "status|list", the note on the last line of stdout/stderr
  env -u TOVAREL_ARCH TOVAREL_SETUP="$2" TOVAREL_WINE32_LOADER="$1/wine" TOVAREL_WINE64_LOADER="$1/wine64" \
    bash -c 'source "$0/scripts/arch.sh"; tovarel_prepare >/dev/null 2>&1; s=$?; echo "$s|${tovarel_run_archs[*]}"' "$root"
}
IFS='|' read -r s list < <(prepare "$fresh" "$setup")
check "prepare installs before it decides" '[ "$s" = 0 ] && [ "$list" = "x86 x64" ]'
IFS='|' read -r s list < <(prepare "$scratch/never" true)
check "prepare fails when the set-up leaves no loader" '[ "$s" = 1 ] && [ -z "$list" ]'
IFS='|' read -r s list < <(prepare "$both" false)
check "prepare fails when the set-up fails" '[ "$s" != 0 ]'
for script in test.sh run.sh; do
  file=$root/scripts/$script
  check "$script decides through tovarel_prepare only" \
    '! grep -q "^tovarel_pick_archs" "$file" && grep -q "^tovarel_prepare" "$file"'
done

# --- CTest's own count ----------------------------------------------------------------------------
count() {
  printf '%b' "$1" >"$scratch/ctest.log"
  bash -c 'source "$0/scripts/arch.sh"; tovarel_ctest_count "$1"' "$root" "$2"
}
n=$(count '1/2 Test #1: A ... Passed\n\n100% tests passed, 0 tests failed out of 27\n' "$scratch/ctest.log")
check "a full run is counted" '[ "$n" = 27 ]'
n=$(count '50% tests passed, 1 tests failed out of 2\n\nThe following tests FAILED:\n' "$scratch/ctest.log")
check "a run with failures is counted" '[ "$n" = 2 ]'
n=$(count 'Test project /b\nNo tests were found!!!\n' "$scratch/ctest.log")
check "no test found counts 0" '[ "$n" = 0 ]'
n=$(count '' "$scratch/ctest.log")
check "an empty log counts 0" '[ "$n" = 0 ]'
n=$(count '' "$scratch/missing.log")
check "a missing log counts 0" '[ "$n" = 0 ]'

echo "Script tests: $passed of $((passed + failed)) cases passed"
[ "$failed" -eq 0 ]
