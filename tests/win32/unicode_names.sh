#!/usr/bin/env bash
# A project saved on a Greek machine (code page 1253), converted with
# --codepage 1253 by vireo-migrate.exe on a machine whose ANSI code page is
# 1252, which cannot spell its names: a module named Μονάδα.bas and a class
# in a folder named Κλάσεις. Both builds must leave the same bytes, end with
# the same exit status and name the files alike in UTF-8, in the progress
# lines and in the report. Without --codepage both read the names in
# Windows-1252 and find neither file; a name that is no UTF-8 under
# --codepage 65001 is refused, naming its bytes. The same project in a
# folder with a Greek name, its module one folder up, is found when the
# command line names that folder, its project file, or (with -r) a folder
# above it, by absolute path and relative to a Greek current folder.
# The Wine prefix is the one in WINEPREFIX; this sets its own locale.
# Usage: unicode_names.sh LINUX_TOOL WINDOWS_EXE SOURCE_DIR WORK_DIR
set -uo pipefail
linux_tool=$(realpath "$1") windows_exe=$(realpath "$2") source_dir=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8 LANG=C.UTF-8 TERM=dumb
rm -rf "$work" && mkdir -p "$work"

project="$work/greek"
cp -r "$source_dir/examples/inventory" "$project"
mv "$project/Grids.bas" "$project/Μονάδα.bas"
mkdir "$project/Κλάσεις"
mv "$project/StyleCache.cls" "$project/Κλάσεις/"
python3 - "$project/Inventory.vbp" <<'EOF'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
text = text.replace(b'Grids.bas', 'Μονάδα.bas'.encode('cp1253'))
text = text.replace(b'StyleCache.cls', 'Κλάσεις\\StyleCache.cls'.encode('cp1253'))
open(path, 'wb').write(text)
EOF

# The same project as Φάκελος/Έργο, its module moved up into Φάκελος.
nested="$work/nested"
mkdir -p "$nested/Φάκελος"
cp -r "$project" "$nested/Φάκελος/Έργο"
mv "$nested/Φάκελος/Έργο/Μονάδα.bas" "$nested/Φάκελος/"
python3 - "$nested/Φάκελος/Έργο/Inventory.vbp" <<'EOF'
import sys
path = sys.argv[1]
text = open(path, 'rb').read()
text = text.replace('Μονάδα.bas'.encode('cp1253'), '..\\Μονάδα.bas'.encode('cp1253'))
open(path, 'wb').write(text)
EOF

failures=()
fail() { failures+=("$1"); }

windows_path() {
  case $1 in
    /*) echo "Z:$1" | tr / '\\' ;;
    *) echo "$1" | tr / '\\' ;;
  esac
}

# Runs both builds on copies named after `case`; the rest are the options.
# A copy is of `$tree` (default the project). The command line names the
# copy, or `$named` in it; with `$in` set, the run starts in that folder of
# the copy and names `$named` relative to it.
run_both() {
  local case=$1 build copy argument
  shift
  for build in linux windows; do
    copy="$work/$case.$build"
    cp -r "${tree:-$project}" "$copy"
    argument=${in:+$named}
    argument=${argument:-$copy${named:+/$named}}
    (
      if [ -n "${in:-}" ]; then cd "$copy/$in" || exit 125; fi
      if [ $build = linux ]; then
        "$linux_tool" convert "$@" "$argument" --report "$copy.json"
      else
        "$here/../../cmake/wine-run" "$windows_exe" convert "$@" "$(windows_path "$argument")" \
          --report "$(windows_path "$copy.json")"
      fi
    ) </dev/null >"$copy.out" 2>"$copy.err"
    echo $? >"$copy.status"
  done
}

# What a run said, with the project's own folder and separators left out,
# and a table's columns (as wide as the longest path) two spaces apart.
said() {
  tr -d '\r' <"$work/$1.$2.$3" | tr '\\' / | sed "s|[^ ]*/$1\.$2/||g" |
    sed 's/\([^ ]\)   */\1  /g' | grep -v ' is not registered in '
}

# Every file of the report with its result, in the project's folder.
reported() {
  python3 - "$work/$1.$2.json" "$1.$2" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1], encoding='utf-8'))
def walk(node):
    if isinstance(node, dict):
        if 'path' in node:
            path = node['path'].replace('\\', '/')
            print(path[path.index(sys.argv[2]) + len(sys.argv[2]) + 1:], node.get('result', ''))
        for value in node.values():
            walk(value)
    elif isinstance(node, list):
        for value in node:
            walk(value)
walk(report)
EOF
}

compare() {
  local case=$1 part
  [ "$(cat "$work/$case.linux.status")" = "$(cat "$work/$case.windows.status")" ] ||
    fail "$case: exit status $(cat "$work/$case.linux.status") on Linux, $(cat "$work/$case.windows.status") on Windows"
  for part in out err; do
    [ "$(said "$case" linux $part)" = "$(said "$case" windows $part)" ] ||
      fail "$case: std$part differs: $(diff <(said "$case" linux $part) <(said "$case" windows $part) | tr '\n' ' ')"
  done
  differing=$(diff -rq "$work/$case.linux" "$work/$case.windows" 2>&1)
  [ -z "$differing" ] || fail "$case: files differ: $differing"
}

run_both greek --from 2 --codepage 1253
compare greek
[ "$(cat "$work/greek.windows.status")" = 0 ] || fail "greek: exit status $(cat "$work/greek.windows.status")"
grep -q '^ Migrating Μονάδα\.bas\.\.\.' "$work/greek.windows.err" ||
  fail "greek: the Windows build does not say ' Migrating Μονάδα.bas...'"
grep -q '^ Migrating Κλάσεις\\StyleCache\.cls\.\.\.' "$work/greek.windows.err" ||
  fail "greek: the Windows build does not say ' Migrating Κλάσεις\\StyleCache.cls...'"
[ "$(reported greek linux)" = "$(reported greek windows)" ] ||
  fail "greek: the reports differ: $(diff <(reported greek linux) <(reported greek windows) | tr '\n' ' ')"
reported greek windows | grep -q '^Μονάδα\.bas' || fail "greek: the report does not name Μονάδα.bas"
cmp -s "$project/Inventory.vbp" "$work/greek.windows/Inventory.vbp" &&
  fail "greek: the project file's reference was not moved"
grep -qa "$(printf '\xCC\xEF\xED\xDC\xE4\xE1')\.bas" "$work/greek.windows/Inventory.vbp" ||
  fail "greek: the project file lost its Windows-1253 bytes"

# Φάκελος/Έργο named by its folder, by its project file, by the folder above
# it with -r, and by Έργο with -r from within Φάκελος.
tree=$nested named=Φάκελος/Έργο run_both folder --from 2 --codepage 1253
tree=$nested named=Φάκελος/Έργο/Inventory.vbp run_both file --from 2 --codepage 1253
tree=$nested named=Φάκελος run_both below -r --from 2 --codepage 1253
tree=$nested in=Φάκελος named=Έργο run_both relative -r --from 2 --codepage 1253
for case in folder file below relative; do
  compare "$case"
  [ "$(cat "$work/$case.windows.status")" = 0 ] ||
    fail "$case: exit status $(cat "$work/$case.windows.status")"
  [ "$(reported "$case" linux)" = "$(reported "$case" windows)" ] ||
    fail "$case: the reports differ: $(diff <(reported "$case" linux) <(reported "$case" windows) | tr '\n' ' ')"
done
tr -d '\r' <"$work/folder.windows.err" | grep -q '^  Z:.*\\folder\.windows\\Φάκελος\\Μονάδα\.bas$' ||
  fail "folder: the Windows build does not name Φάκελος\\Μονάδα.bas as lying outside the project's folder"
grep -q '^Έργο\\Inventory\.vbp ' "$work/relative.windows.out" ||
  fail "relative: the Windows build does not show the project as Έργο\\Inventory.vbp"

# The machine's ANSI code page, 1252, reads other letters from these bytes.
run_both ansi --from 2
compare ansi
grep -q 'listed files are missing: ÌïíÜäá\.bas, ÊëÜóåéò\\StyleCache\.cls' "$work/ansi.windows.err" ||
  fail "ansi: the Windows build does not name the files as Windows-1252 reads them"

printf 'Module=Bad; Mod\xFF.bas\r\n' >>"$project/Inventory.vbp"
run_both bad --from 2 --codepage 65001
[ "$(cat "$work/bad.windows.status")" = 1 ] ||
  fail "bad: exit status $(cat "$work/bad.windows.status"), not 1"
grep -q 'missing: .*Mod<byte FF not in code page 65001>\.bas; nothing was changed' \
  "$work/bad.windows.err" || fail "bad: the error does not name Mod<byte FF ...>.bas"
diff -rq "$project" "$work/bad.windows" >/dev/null || fail "bad: files changed"

if [ ${#failures[@]} -eq 0 ]; then
  echo "unicode names: passed"
  exit 0
fi
printf 'DIFFERENT: %s\n' "${failures[@]}"
for f in "$work"/*.windows.err; do sed "s|^|  $(basename "$f"): |" "$f"; done
echo "unicode names: FAILED"
exit 1
