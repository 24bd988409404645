#!/usr/bin/env bash
# Converts the sample project and the generated test projects twice, once
# with the Linux vireo-migrate and once with vireo-migrate.exe under Wine,
# and checks that both builds leave the same bytes in every file, end with
# the same exit status and tell the same outcome. The Wine prefix is the one
# in WINEPREFIX.
# Usage: same_output.sh LINUX_TOOL WINDOWS_EXE SOURCE_DIR WORK_DIR
set -uo pipefail
linux_tool=$1 windows_exe=$2 source_dir=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/projects" "$work/linux" "$work/windows"
cp -r "$source_dir/examples/inventory" "$work/projects/"
echo 2 > "$work/projects/inventory/from"
python3 "$here/make_projects.py" "$work/projects"

# What a run told: its standard output, and the failing file's name.
outcome() {
  tr -d '\r' <"$1.out"
  tr -d '\r' <"$1.err" | grep '^Error converting file: ' | sed 's|[^ ]*[/\\]||'
}

# The Windows build's temporary files, which every run must delete (a
# handle left open would keep Windows from deleting one).
windows_temp_files() { find "$WINEPREFIX/drive_c" -iname 'vr5*.tmp' 2>/dev/null | sort; }
temp_before=$(windows_temp_files)

passed=0 failed=0
for project in "$work/projects"/*/; do
  name=$(basename "$project")
  from=$(cat "$project/from")
  cp -r "$project" "$work/linux/$name"
  cp -r "$project" "$work/windows/$name"
  "$linux_tool" convert --from "$from" "$work/linux/$name" </dev/null \
    >"$work/linux/$name.out" 2>"$work/linux/$name.err"
  linux_status=$?
  windows_path="Z:$(echo "$work/windows/$name" | tr / '\\')"
  "$here/../../cmake/wine-run" "$windows_exe" convert --from "$from" "$windows_path" </dev/null \
    >"$work/windows/$name.out" 2>"$work/windows/$name.err"
  windows_status=$?
  problems=()
  [ "$linux_status" = "$windows_status" ] ||
    problems+=("exit status $linux_status on Linux, $windows_status on Windows")
  linux_says=$(outcome "$work/linux/$name")
  windows_says=$(outcome "$work/windows/$name")
  [ -n "$linux_says" ] && [ "$linux_says" = "$windows_says" ] ||
    problems+=("the outcome differs: \"$linux_says\" on Linux, \"$windows_says\" on Windows")
  differing=$(diff -rq "$work/linux/$name" "$work/windows/$name" 2>&1)
  [ -z "$differing" ] || problems+=("files differ: $differing")
  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
    echo "same: $name (exit status $linux_status, $(find "$work/linux/$name" -type f | wc -l) files)"
  else
    failed=$((failed + 1))
    echo "DIFFERENT: $name"
    printf '  %s\n' "${problems[@]}"
    sed 's/^/  windows stderr: /' "$work/windows/$name.err"
  fi
done
temp_after=$(windows_temp_files)
if [ "$temp_before" = "$temp_after" ]; then
  passed=$((passed + 1))
  echo "same: no temporary file left behind by the Windows build"
else
  failed=$((failed + 1))
  echo "LEFT BEHIND: $(comm -13 <(echo "$temp_before") <(echo "$temp_after"))"
fi
echo "same-output: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
