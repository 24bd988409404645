#!/usr/bin/env bash
# The bash completion, driven as bash-completion drives it: COMP_WORDS and
# COMP_CWORD set, the function called, COMPREPLY compared.
# Usage: bash_completion_test.sh COMPLETION_FILE
set -u
shopt -s extglob
export HOME=$(mktemp -d) TMPDIR=$HOME LC_ALL=C TERM=dumb
trap 'rm -rf "$HOME"' EXIT
source "$1"
cd "$HOME"
mkdir -p apps/sub "apps/My Folder"
touch apps/A.vbp apps/B.VBG apps/c.mak apps/Form1.frm "apps/My App.vbp" apps/report.json

failures=0
# expect "WANTED" WORD... : completes the last word.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vireo_migrate 2>/dev/null
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: ${COMP_WORDS[*]}: got '$got', wanted '$wanted'"
    failures=$((failures + 1))
  fi
}

expect "convert" vireo-migrate con
expect "--diff|--dry-run" vireo-migrate convert --d
# Projects, groups and folders; not forms.
expect "apps/A.vbp|apps/B.VBG|apps/My App.vbp|apps/My Folder|apps/c.mak|apps/sub" \
  vireo-migrate convert apps/
expect "apps/B.VBG" vireo-migrate recover -r apps/B
# Type names, quoted, control files and positions.
expect "VireoCore.VireoCtl|Vireo\ 4.0|Vireo\ Pro\ 5.0\ for\ VB4|Vireo\ Pro\ 5.0\ for\ VB4\ \(Eval\)|Vireo\ Standard\ 1.0" \
  vireo-migrate convert --from Vireo
expect "Vireo\ Pro\ 5.0\ for\ VB4|Vireo\ Pro\ 5.0\ for\ VB4\ \(Eval\)" \
  vireo-migrate convert --to "\"Vireo Pro"
expect "VIRA32.OCX|VIRA5_32.OCX|VIRAS32.OCX" vireo-migrate convert A.vbp --to VIRA
expect "1|2|3|4|5|6|EVIR5_32.OCX|EVIRA32.OCX|PLOVER32.OCX|Plover\ 1.0|VIRA32.OCX|VIRA5_32.OCX|VIRAS32.OCX|VireoCore.VireoCtl|Vireo\ 4.0|Vireo\ Pro\ 5.0\ for\ VB4|Vireo\ Pro\ 5.0\ for\ VB4\ \(Eval\)|Vireo\ Standard\ 1.0" \
  vireo-migrate convert --from ""
# Any file for the reports.
expect "apps/report.json" vireo-migrate convert -r apps --report apps/rep
expect "apps/Form1.frm" vireo-migrate convert -r apps --junit apps/F
expect "apps/My Folder" vireo-migrate convert A.vbp --backup "apps/My"

if [ "$failures" -eq 0 ]; then
  echo "bash completion: passed"
else
  echo "bash completion: $failures FAILED"
  exit 1
fi
