# Sourced by the project's scripts: which architectures are built and which this host can run.
# Both are always built (the compilers run everywhere); a program runs only where the host can
# execute its code. TOVAREL_ARCH=x86 or x64 limits the runs (tests, demo) to that one.

tovarel_all_archs=(x86 x64)

# 32-bit Windows programs need Wine's 32-bit loader, and a kernel that runs 32-bit x86 code: some
# hosts have neither, and there the loader itself fails with "Exec format error".
tovarel_can_run() {
  case $1 in
    x64) [ -x /usr/lib/wine/wine64 ] ;;
    x86) [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1 ;;
    *) return 1 ;;
  esac
}

# Fills tovarel_run_archs with the architectures to run here, and tovarel_arch_note with one line
# that says which and why.
tovarel_pick_archs() {
  local arch
  tovarel_run_archs=()
  case ${TOVAREL_ARCH:-} in
    "") ;;
    x86|x64) ;;
    *) echo "TOVAREL_ARCH must be x86 or x64, not '$TOVAREL_ARCH'" >&2; return 1 ;;
  esac
  for arch in "${tovarel_all_archs[@]}"; do
    [ -z "${TOVAREL_ARCH:-}" ] || [ "$TOVAREL_ARCH" = "$arch" ] || continue
    tovarel_can_run "$arch" && tovarel_run_archs+=("$arch")
  done
  if [ -n "${TOVAREL_ARCH:-}" ]; then
    if [ ${#tovarel_run_archs[@]} -eq 0 ]; then
      echo "TOVAREL_ARCH=$TOVAREL_ARCH: this host cannot run $TOVAREL_ARCH programs" >&2
      return 1
    fi
    tovarel_arch_note="Architecture: $TOVAREL_ARCH only (TOVAREL_ARCH)"
  elif [ ${#tovarel_run_archs[@]} -eq 2 ]; then
    tovarel_arch_note="Architectures: x86 and x64 (this host runs both)"
  else
    tovarel_arch_note="Architecture: x64 only (this host cannot run 32-bit x86 code; the x86 edition is built but not run)"
  fi
}
