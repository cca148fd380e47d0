#!/usr/bin/env bash
# The release files of one edition ($TOVAREL_WINE_ARCH) as a Windows user meets them, in a Wine prefix
# of their own (32-bit for x86, 64-bit for x64):
#   prefix    makes that prefix afresh, with the simulated device library registered; the cases below
#             share it (its first start costs half a minute)
#   install   a silent install: what it puts where, the program started from its Start menu shortcut;
#             then a silent uninstall, which keeps the settings
#   upgrade   a setup refused while the program runs, then run over an older installation, keeping
#             the settings; an uninstall through its pages with "remove my settings" ticked
#   portable  the zip unpacked into a fresh folder and the program started from there
#   editions  (x64, where this host runs 32-bit code) the x86 setup on this 64-bit Windows, where only
#             64-bit device support is registered, warns and names the x64 setup, and not once the
#             32-bit support is there too; the x64 setup then replaces the installed x86 edition
# Run by CTest inside a virtual display (Tests/Packaging/CMakeLists.txt sets the environment).
set -euo pipefail
here=$(dirname "$(realpath "$0")")
export WINEPREFIX=$PACKAGING_PREFIX
# shellcheck source=../../scripts/wine-env.sh
source "$TOVAREL_SOURCE_DIR/scripts/wine-env.sh"
# A shortcut made under Wine must not become a menu entry of the machine that runs the tests.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\TovarelUSB'
settings_key='Software\Marlquist\TovarelUSB'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

expect_eq() {
  [ "$1" == "$2" ] || fail "$3: expected '$2', got '$1'"
}

drive() { wine "$TOVAREL_BUILD_DIR/e2e/TovarelDriver.exe" "$@"; }

# A Windows program of this edition's architecture ($2 = x86 or x64, default this edition's).
check_pe() {
  local expected='^PE32 executable (GUI) Intel 80386'
  [ "${2:-$TOVAREL_WINE_ARCH}" = x64 ] && expected='^PE32+ executable (GUI) x86-64'
  file -b "$1" | grep -q "$expected" || fail "$1 is not a ${2:-$TOVAREL_WINE_ARCH} program: $(file -b "$1")"
}

# The values of the HKEY_CURRENT_USER key $1 as Wine saved them, one '"name"=value' a line; fails
# when the key does not exist. Wine writes the registry when its server ends: call after wineserver -w.
reg_values() {
  KEY_HEAD="[${1//\\/\\\\}]" awk '
    BEGIN { head = ENVIRON["KEY_HEAD"] }
    index($0, head) == 1 { found = 1; inkey = 1; next }
    /^\[/ { inkey = 0 }
    inkey && /^"/ { print }
    END { exit !found }' "$WINEPREFIX/user.reg"
}

reg_string() {
  reg_values "$1" | sed -n "s/^\"$2\"=\"\\(.*\\)\"\$/\\1/p" | sed 's/\\"/"/g; s/\\\\/\\/g'
}

forget_settings() {
  wine reg delete 'HKCU\Software\Marlquist' /f >/dev/null 2>&1 || true
}

# Where the setup puts things for the prefix's user.
find_user_folders() {
  local users=$WINEPREFIX/drive_c/users user
  user=$(find "$users" -mindepth 1 -maxdepth 1 ! -name Public -printf '%f\n' | head -1)
  install_dir=$users/$user/AppData/Local/Programs/TovarelUSB
  install_dir_win="C:\\users\\$user\\AppData\\Local\\Programs\\TovarelUSB"
  shortcut=$users/$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/TovarelUSB.lnk
  shortcut_win="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\TovarelUSB.lnk"
}

run_setup() {
  local expected=$1 setup=${2:-$TOVAREL_SETUP} status=0
  wine "$setup" /S || status=$?
  expect_eq "$status" "$expected" "setup exit status"
}

# Starts the program (wine arguments in $@) and waits for its main window.
start_program() {
  wine "$@" &
  program=$!
  drive wait-window "TovarelUSB" 30000 >/dev/null || fail "no main window after starting $*"
}

# Closes it as a user does (it saves its settings on the way out) and waits until Wine is idle.
close_program() {
  local status=0
  drive close "TovarelUSB" >/dev/null
  wait "$program" || status=$?
  wineserver -w
  expect_eq "$status" 0 "the program's exit status"
}

# Exactly the program and the uninstaller, the shortcut, and the registration of this version.
check_installed() {
  wineserver -w
  expect_eq "$(ls "$install_dir" | tr '\n' ' ')" "TovarelUSB.exe Uninstall.exe " "installed files"
  cmp -s "$install_dir/TovarelUSB.exe" "$TOVAREL_RELEASE_EXE" || fail "installed program is not the release's"
  check_pe "$install_dir/TovarelUSB.exe"
  check_pe "$install_dir/Uninstall.exe"
  [ -f "$shortcut" ] || fail "no Start menu shortcut"
  reg_values "$uninstall_key" >/dev/null || fail "no Uninstall key"
  local exe="$install_dir_win\\TovarelUSB.exe" uninstaller="\"$install_dir_win\\Uninstall.exe\""
  expect_eq "$(reg_string "$uninstall_key" DisplayName)" "TovarelUSB" DisplayName
  expect_eq "$(reg_string "$uninstall_key" DisplayVersion)" "$TOVAREL_VERSION" DisplayVersion
  expect_eq "$(reg_string "$uninstall_key" Publisher)" "$(version_value "$TOVAREL_PROGRAM" CompanyName)" Publisher
  expect_eq "$(reg_string "$uninstall_key" DisplayIcon)" "$exe,0" DisplayIcon
  expect_eq "$(reg_string "$uninstall_key" InstallLocation)" "$install_dir_win" InstallLocation
  expect_eq "$(reg_string "$uninstall_key" UninstallString)" "$uninstaller" UninstallString
  expect_eq "$(reg_string "$uninstall_key" QuietUninstallString)" "$uninstaller /S" QuietUninstallString
  local size kib
  size=$(reg_values "$uninstall_key" | sed -n 's/^"EstimatedSize"=dword:\([0-9a-f]*\)$/\1/p')
  kib=$(( $(cat "$install_dir"/*.exe | wc -c) / 1024 ))
  [ -n "$size" ] && [ $((16#$size)) -eq "$kib" ] || fail "EstimatedSize '$size' for $kib KiB"
}

check_removed() {
  wineserver -w
  [ ! -e "$install_dir" ] || fail "left behind: $(ls -A "$install_dir")"
  [ ! -e "$shortcut" ] || fail "Start menu shortcut left behind"
  ! reg_values "$uninstall_key" >/dev/null || fail "Uninstall key left behind"
}

version_value() {
  python3 "$here/pe-version.py" "$1" | sed -n "s/^$2=//p"
}

case_prefix() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  "$TOVAREL_SOURCE_DIR/scripts/make-wineprefix.sh" "$WINEPREFIX" "$TOVAREL_SIM_DIR/SimMobileDevice.dll" "$TOVAREL_SIM_DIR"
}

case_install() {
  check_pe "$TOVAREL_SETUP"
  local key program_value
  for key in FixedFileVersion FixedProductVersion FileVersion ProductVersion ProductName CompanyName LegalCopyright; do
    program_value=$(version_value "$TOVAREL_PROGRAM" $key)
    [ -n "$program_value" ] || fail "the program has no $key"
    expect_eq "$(version_value "$TOVAREL_SETUP" $key)" "$program_value" "setup's $key"
  done
  [[ $(version_value "$TOVAREL_PROGRAM" FixedFileVersion) == "$TOVAREL_VERSION".* ]] ||
    fail "release version $TOVAREL_VERSION is not the program's"

  forget_settings
  run_setup 0
  check_installed
  start_program start "$shortcut_win"
  close_program
  local settings
  settings=$(reg_values "$settings_key") || fail "the program saved no settings"

  wine "$install_dir_win\\Uninstall.exe" /S
  # The uninstaller runs on from a copy of itself in the temporary folder: check_removed waits for
  # all of Wine.
  check_removed
  expect_eq "$(reg_values "$settings_key")" "$settings" "settings after a silent uninstall"
}

case_upgrade() {
  run_setup 0
  start_program "$install_dir_win\\TovarelUSB.exe"
  run_setup 2
  cmp -s "$install_dir/TovarelUSB.exe" "$TOVAREL_RELEASE_EXE" || fail "setup changed the running program"
  close_program
  local settings
  settings=$(reg_values "$settings_key") || fail "the program saved no settings"

  # An older installation: another version registered, another program file.
  wine reg add "HKCU\\$uninstall_key" /v DisplayVersion /d 0.9 /f >/dev/null
  printf 'older program' >"$install_dir/TovarelUSB.exe"
  run_setup 0
  check_installed
  expect_eq "$(reg_values "$settings_key")" "$settings" "settings after an upgrade"

  local title="TovarelUSB Uninstall"
  wine "$install_dir_win\\Uninstall.exe" &
  drive wait-window "$title" 30000 >/dev/null || fail "no uninstall window"
  drive type "$title" ALT+R >/dev/null  # "Also remove my settings"
  drive press "$title" 1 >/dev/null     # Uninstall
  # The last pages add an empty subtitle to the window's title.
  for _ in $(seq 1 60); do
    drive texts "$title " 2>/dev/null | grep -q $'\t&Finish$' && break
    sleep 0.5
  done
  drive press "$title " 1 >/dev/null    # Finish
  drive wait-gone "$title " 10000 >/dev/null || fail "the uninstaller did not finish"
  check_removed
  ! reg_values 'Software\Marlquist' >/dev/null || fail "settings kept though their removal was asked for"
}

case_portable() {
  local folder
  mkdir -p "$TOVAREL_BUILD_DIR/packaging-test"
  folder=$(mktemp -d "$TOVAREL_BUILD_DIR/packaging-test/portable.XXXXXX")
  unzip -q "$TOVAREL_PORTABLE_ZIP" -d "$folder"
  expect_eq "$(ls "$folder" | tr '\n' ' ')" "LICENSE.txt ReadMe.txt TovarelUSB.exe " "files in the zip"
  cmp -s "$folder/TovarelUSB.exe" "$TOVAREL_RELEASE_EXE" || fail "zipped program is not the release's"
  start_program "$folder/TovarelUSB.exe"
  close_program
  rm -rf "$folder"
}

# Starts the x86 setup with its pages and answers whether the first window it shows (a message box
# or the first page, either titled after the setup) holds the warning (1) or not (0).
x86_setup_warns() {
  local title="" texts
  wine "$TOVAREL_X86_SETUP" &
  for _ in $(seq 1 60); do
    title=$(drive windows | awk -F'\t' '$2 == "#32770" && $3 ~ /TovarelUSB/ { print $3; exit }')
    [ -n "$title" ] && break
    sleep 0.5
  done
  [ -n "$title" ] || fail "the x86 setup showed no window"
  texts=$(drive texts "$title")
  wineserver -k 2>/dev/null || true
  wait || true
  if grep -q "TovarelUSB-$TOVAREL_VERSION-x64-setup.exe" <<<"$texts"; then echo 1; else echo 0; fi
}

case_editions() {
  source "$TOVAREL_SOURCE_DIR/scripts/arch.sh"
  if ! tovarel_can_run x86 || [ ! -f "$TOVAREL_X86_SETUP" ]; then
    echo "editions: skipped, this host does not run the x86 setup"
    return 0
  fi
  local apple='HKLM\SOFTWARE\Apple Inc.\Apple Mobile Device Support\Shared'
  forget_settings
  # The prefix registers the simulated device library as 64-bit iTunes does: in the 64-bit view only.
  wine reg delete "$apple" /reg:32 /f >/dev/null 2>&1 || true
  expect_eq "$(x86_setup_warns)" 1 "x86 setup's warning with 64-bit device support only"
  [ ! -e "$install_dir" ] || fail "the x86 setup installed although it was cancelled"
  # The setup checks that a recorded library is there and is 32-bit: any 32-bit program file serves.
  mkdir -p "$WINEPREFIX/drive_c/x86"
  cp "$TOVAREL_X86_SETUP" "$WINEPREFIX/drive_c/x86/MobileDevice.dll"
  wine reg add "$apple" /reg:32 /v iTunesMobileDeviceDLL /t REG_SZ /d 'C:\x86\Gone.dll' /f >/dev/null
  expect_eq "$(x86_setup_warns)" 1 "x86 setup's warning with a stale 32-bit record"
  wine reg add "$apple" /reg:32 /v iTunesMobileDeviceDLL /t REG_SZ /d 'C:\x86\MobileDevice.dll' /f >/dev/null
  expect_eq "$(x86_setup_warns)" 0 "x86 setup's warning with 32-bit device support"
  wine reg delete "$apple" /reg:32 /f >/dev/null
  rm -rf "$WINEPREFIX/drive_c/x86"

  run_setup 0 "$TOVAREL_X86_SETUP"
  check_pe "$install_dir/TovarelUSB.exe" x86
  start_program "$install_dir_win\\TovarelUSB.exe"
  close_program
  local settings
  settings=$(reg_values "$settings_key") || fail "the x86 edition saved no settings"
  run_setup 0
  check_installed
  expect_eq "$(reg_values "$settings_key")" "$settings" "settings after the x64 edition replaced the x86 one"
  wine "$install_dir_win\\Uninstall.exe" /S
  check_removed
}

# A case that fails halfway must not leave its programs running in the prefix.
trap '[ $? -eq 0 ] || wineserver -k 2>/dev/null || true' EXIT
[ "${1:-}" == prefix ] || find_user_folders
"case_${1:?usage: packaging-test.sh prefix|install|upgrade|portable|editions}"
