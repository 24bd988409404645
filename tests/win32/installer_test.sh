#!/usr/bin/env bash
# The setup program under Wine, silent: installs into a chosen folder with
# the PATH option, then its uninstaller takes everything away again. Checks
# the files, the class and ProgID in the registry, the VB.INI line, the
# "Apps and Features" entry, PATH, and README.txt against the help of the
# installed vireo-migrate.exe; after the uninstall, that all of it is gone
# and VB.INI and PATH are byte for byte as before.
#
# Usage: installer_test.sh SETUP_EXE WORK_FOLDER (in the throwaway prefix of
# WINEPREFIX, under a display). Says "installer: passed" only when all passed.
set -u
setup=$1
work=$2
[ -n "${WINEPREFIX:-}" ] || { echo "installer_test: set WINEPREFIX" >&2; exit 125; }
mkdir -p "$work"
wine=/usr/lib/wine/wine
run() { timeout -k 5 120 "$wine" "$@"; }
settle() { timeout 60 /usr/lib/wine/wineserver -w; }
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}
query() { run reg query "$@" 2>/dev/null | tr -d '\r'; }
has() { [[ $1 == *"$2"* ]]; }
absent() { ! run reg query "$1" >/dev/null 2>&1; }

class_id='{CF0A9AAB-B98B-46C8-B7A9-6A3630EF5135}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vireo Pro 5.0 Migration Utility'
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
folder_windows='C:\Program Files\Vireo Test'
folder="$WINEPREFIX/drive_c/Program Files/Vireo Test"
windows=$WINEPREFIX/drive_c/windows

# VB.INI as the profile functions under Wine write it back (they rewrite the
# whole file in their own layout), so that "as before" can be byte for byte.
find "$windows" -maxdepth 1 -iname vb.ini -delete
vb_ini_before=$'; Visual Basic 4.0 settings\r\n[Options]\r\nFontSize=9\r\n[Add-Ins32]\r\nAppWizard.Wizard=1\r\nOther.Connect=0\r\n[Recent]\r\nFile1=C:\\VB\\Project1.vbp\r\n'
printf '%s' "$vb_ini_before" >"$windows/VB.INI"
path_before=$(query "$environment_key" /v PATH)

echo "-- silent install into $folder_windows, with /PATH"
# /D= comes last and unquoted, spaces and all, as a user types it; wine
# would quote an argument with spaces, so cmd gets the line as it is.
setup_windows="Z:$(realpath "$setup" | tr / '\\')"
run cmd /c "$setup_windows /S /PATH /D=$folder_windows"
status=$?
settle
check "the setup program ends with status 0 (was $status)" test "$status" -eq 0
for file in VIRAMU32.exe VIRAMU32.tlb vireo-migrate.exe README.txt LICENSE.txt uninstall.exe; do
  check "$file is installed" test -f "$folder/$file"
done
check "ProgID VIRAMU32.Connect names the class" \
  has "$(query 'HKCR\VIRAMU32.Connect\CLSID' /ve)" "$class_id"
check "the class names its ProgID" has "$(query "HKCR\\CLSID\\$class_id\\ProgID" /ve)" VIRAMU32.Connect
check "the class's local server is the installed VIRAMU32.exe" \
  has "$(query "HKCR\\CLSID\\$class_id\\LocalServer32" /ve)" "\"$folder_windows\\VIRAMU32.exe\""
vb_ini_installed=${vb_ini_before/Other.Connect=0$'\r\n'/Other.Connect=0$'\r\n'VIRAMU32.Connect=0$'\r\n'}
check "VB.INI lists the add-in in [Add-Ins32], the rest unchanged" \
  test "$(od -c "$windows/VB.INI")" = "$(printf '%s' "$vb_ini_installed" | od -c)"
check "the Apps and Features entry names the uninstaller" \
  has "$(query "$uninstall_key" /v UninstallString)" "\"$folder_windows\\uninstall.exe\""
check "the system PATH holds the folder" has "$(query "$environment_key" /v PATH)" ";$folder_windows"

# README.txt quotes what the installed program's help says.
help=""
for arguments in "--help" "convert --help" "scan --help" "recover --help" "types --help" \
  "register --help"; do
  # shellcheck disable=SC2086
  help+=$(run "$folder/vireo-migrate.exe" $arguments 2>&1 | tr -d '\r' | sed 's/^./    &/')$'\n\n'
done
readme=$(tr -d '\r' <"$folder/README.txt")
check "README.txt quotes vireo-migrate.exe's help" has "$readme" "$help"
check "the help speaks of Windows, not Wine" bash -c '! grep -qi wine <<<"$1"' _ "$help"
check "the installed vireo-migrate.exe runs" \
  has "$(run "$folder/vireo-migrate.exe" --version 2>&1)" "vireo-migrate "

# The installed add-in, driven through COM as the IDE drives it, converts a
# project (VIREO_E2E names the scripted IDE, the project and the bytes to
# expect); VB.INI is put back after, as those steps rewrite it.
if [ -n "${VIREO_E2E:-}" ]; then
  IFS='|' read -r e2e_exe e2e_project e2e_expected <<<"$VIREO_E2E"
  cp "$windows/VB.INI" "$work/vb.ini.installed"
  timeout -k 5 300 "$wine" "$e2e_exe" --server="$folder_windows\VIRAMU32.exe" \
    --project="$e2e_project" --expected="$e2e_expected" \
    --gtest_filter='AddIn.Connecting*:AddIn.AClickConverts*:AddIn.Disconnecting*' \
    >"$work/e2e.log" 2>&1
  check "the installed add-in converts a project through COM" \
    grep -q '^\[  PASSED  \] 3 tests\.' "$work/e2e.log"
  cp "$work/vb.ini.installed" "$windows/VB.INI"
  settle
fi

echo "-- silent uninstall"
run "$folder/uninstall.exe" /S
status=$?
settle  # the uninstaller goes on in a copy of itself
check "the uninstaller ends with status 0 (was $status)" test "$status" -eq 0
check "the folder is gone" test ! -e "$folder"
check "the ProgID is gone" absent 'HKCR\VIRAMU32.Connect'
check "the class is gone" absent "HKCR\\CLSID\\$class_id"
check "the Apps and Features entry is gone" absent "$uninstall_key"
check "VB.INI is byte for byte as before the install" \
  test "$(od -c "$windows/VB.INI")" = "$(printf '%s' "$vb_ini_before" | od -c)"
check "PATH is as before the install" test "$(query "$environment_key" /v PATH)" = "$path_before"

if [ "$failures" -eq 0 ]; then
  echo "installer: passed"
else
  echo "installer: $failures FAILED"
  exit 1
fi
