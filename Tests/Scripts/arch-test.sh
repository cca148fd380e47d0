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
# Each row: the state of the 32-bit and the 64-bit loader (missing, fails, plain = not executable,
# works), TOVAREL_ARCH, then the status, the list and a part of the note expected; in the note, @
# stands for the row's folder.
while IFS=, read -r w32 w64 only want_status want_list want_note; do
  dir=$scratch/$w32-$w64-$only
  [ "$w32" = missing ] || make_loader "$dir/wine" "$w32"
  [ "$w64" = missing ] || make_loader "$dir/wine64" "$w64"
  if [ -n "$only" ]; then set -- TOVAREL_ARCH="$only"; else set --; fi
  IFS='|' read -r s list note < <(decide "$dir" "$@")
  check "loaders $w32/$w64, TOVAREL_ARCH '$only': status $want_status, editions '$want_list'" \
    '[ "$s" = "$want_status" ] && [ "$list" = "$want_list" ]'
  check "loaders $w32/$w64, TOVAREL_ARCH '$only': the note names '$want_note'" \
    'contains "$note" "${want_note//@/$dir}"'
done <<'ROWS'
missing,missing,,1,,x86: no Wine loader at @/wine; x64: no Wine loader at @/wine64
fails,fails,,1,,x86: its Wine loader @/wine fails; x64: its Wine loader @/wine64 fails
plain,works,,0,x64,no Wine loader at @/wine
fails,works,,0,x64,its Wine loader @/wine fails
works,missing,,0,x86,no Wine loader at @/wine64
works,works,,0,x86 x64,x86 and x64
works,works,x64,0,x64,x64 only
fails,works,x86,1,,x86: its Wine loader @/wine fails
works,works,arm64,1,,arm64
ROWS

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
IFS='|' read -r s list < <(prepare "$scratch/works-works-" false)
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
