# Sourced by the project's scripts: which architectures are built and which this host can run.
# Both are always built (the compilers run everywhere); a program runs only where the host can
# execute its code. TOVAREL_ARCH=x86 or x64 limits the runs (tests, demo) to that one.
#
# The decision needs Wine, which setup.sh installs: call tovarel_prepare (setup, then the decision),
# never tovarel_pick_archs before setup has run.

tovarel_all_archs=(x86 x64)

# Wine's loaders, as Debian installs them; a test of these decisions points them elsewhere.
TOVAREL_WINE32_LOADER=${TOVAREL_WINE32_LOADER:-/usr/lib/wine/wine}
TOVAREL_WINE64_LOADER=${TOVAREL_WINE64_LOADER:-/usr/lib/wine/wine64}

tovarel_loader_of() {
  case $1 in
    x86) echo "$TOVAREL_WINE32_LOADER" ;;
    x64) echo "$TOVAREL_WINE64_LOADER" ;;
  esac
}

# Why this host cannot run the edition $1, or nothing when it can. 32-bit Windows programs need
# Wine's 32-bit loader and a kernel that runs 32-bit x86 code: some hosts have neither, and there
# the loader itself fails ("Exec format error").
tovarel_cannot_run() {
  local loader
  loader=$(tovarel_loader_of "$1")
  if [ -z "$loader" ]; then
    echo "unknown architecture '$1'"
  elif [ ! -x "$loader" ]; then
    echo "no Wine loader at $loader"
  elif ! "$loader" --version >/dev/null 2>&1; then
    echo "its Wine loader $loader fails"
  fi
}

tovarel_join() {
  local first=$1
  shift
  printf '%s' "$first" "${@/#/; }"
}

tovarel_can_run() {
  [ -z "$(tovarel_cannot_run "$1")" ]
}

# Fills tovarel_run_archs with the architectures to run here, and tovarel_arch_note with one line
# that says which and why. Returns 1 when none can run (the note says why), or TOVAREL_ARCH is wrong.
tovarel_pick_archs() {
  local arch why reasons=()
  tovarel_run_archs=()
  tovarel_arch_note=""
  case ${TOVAREL_ARCH:-} in
    ""|x86|x64) ;;
    *) tovarel_arch_note="TOVAREL_ARCH must be x86 or x64, not '$TOVAREL_ARCH'"; return 1 ;;
  esac
  for arch in "${tovarel_all_archs[@]}"; do
    [ -z "${TOVAREL_ARCH:-}" ] || [ "$TOVAREL_ARCH" = "$arch" ] || continue
    why=$(tovarel_cannot_run "$arch")
    if [ -z "$why" ]; then
      tovarel_run_archs+=("$arch")
    else
      reasons+=("$arch: $why")
    fi
  done
  if [ ${#tovarel_run_archs[@]} -eq 0 ]; then
    tovarel_arch_note="No edition can run here ($(tovarel_join "${reasons[@]}"))"
    return 1
  fi
  if [ -n "${TOVAREL_ARCH:-}" ]; then
    tovarel_arch_note="Architecture: $TOVAREL_ARCH only (TOVAREL_ARCH)"
  elif [ ${#tovarel_run_archs[@]} -eq 2 ]; then
    tovarel_arch_note="Architectures: x86 and x64 (this host runs both)"
  elif [ "${tovarel_run_archs[0]}" = x64 ]; then
    tovarel_arch_note="Architecture: x64 only (the x86 edition is built but not run: ${reasons[0]#x86: })"
  else
    tovarel_arch_note="Architecture: x86 only (the x64 edition is built but not run: ${reasons[0]#x64: })"
  fi
}

# How many tests CTest ran, from its closing line ("... tests failed out of N") in the log $1; 0 when
# it has none (no test found, or CTest never got that far).
tovarel_ctest_count() {
  local n
  n=$(sed -n 's/.* tests failed out of \([0-9][0-9]*\)$/\1/p' "$1" 2>/dev/null | tail -n 1)
  echo "${n:-0}"
}

# What the test and run commands do first: install what is missing (setup.sh, or the command in
# TOVAREL_SETUP), then decide, print the decision, and fail when nothing can run.
tovarel_prepare() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  "${TOVAREL_SETUP:-$here/setup.sh}" || return 1
  export TOVAREL_SETUP_DONE=1
  if ! tovarel_pick_archs; then
    echo "$tovarel_arch_note" >&2
    return 1
  fi
  echo "$tovarel_arch_note"
}
