#!/usr/bin/env bash
# Fails when a source file includes a header of a folder above its own: the
# layers point one way, from the front ends down to the platform seam. CMake
# cannot see a header-only include, so the includes themselves are read.
#
# The order, bottom up (folders of one rank do not include each other):
#   0 platform (its posix/ and win32/ implementations), resources (ids only)
#   1 format (the on-disc records and constants)
#   2 sector
#   3 mastering, drivetools
#   4 verify (reading images back: structure, sources, sectors, repair)
#   5 settings
#   6 shell, ui/win32 (what the Windows program's windows share)
#   7 cli, settings/win32, drivetools/win32
#   8 shell/win32 (the main window, which opens the other windows)
# tests/ and bench/ may include anything.
#
# Includes that still run back up are listed in scripts/layer-exceptions.txt,
# one "file -> header" a line, each to be removed by moving the header or the
# code; a new one fails the check, and so does a listed one that is gone (so
# the list only shrinks).
set -euo pipefail
cd "$(dirname "$0")/.."

rank_of() {
  case $1 in
  platform | platform/* | resources | resources/*) echo 0 ;;
  format | format/*) echo 1 ;;
  sector | sector/*) echo 2 ;;
  mastering | mastering/* | drivetools) echo 3 ;;
  verify) echo 4 ;;
  settings) echo 5 ;;
  shell | ui/win32) echo 6 ;;
  cli | cli/* | settings/win32 | drivetools/win32) echo 7 ;;
  shell/win32) echo 8 ;;
  *) echo -1 ;;
  esac
}

# The folder a file or header belongs to: its directory, with platform's
# implementations counted as platform.
folder_of() {
  local dir
  dir=$(dirname "$1")
  case $dir in
  platform/*) echo platform ;;
  *) echo "$dir" ;;
  esac
}

exceptions=scripts/layer-exceptions.txt
found=$(mktemp)
trap 'rm -f "$found"' EXIT
status=0
while IFS= read -r file; do
  from=$(folder_of "$file")
  from_rank=$(rank_of "$from")
  if [ "$from_rank" -lt 0 ]; then
    echo "check-layers: $file lies in a folder of no layer ($from): name its rank in $0" >&2
    status=1
    continue
  fi
  while IFS= read -r header; do
    to=$(folder_of "$header")
    to_rank=$(rank_of "$to")
    [ "$to_rank" -lt 0 ] && continue
    if [ "$to_rank" -gt "$from_rank" ] || { [ "$to_rank" -eq "$from_rank" ] && [ "$to" != "$from" ] &&
      [ "${to%/win32}" != "$from" ] && [ "${from%/win32}" != "$to" ]; }; then
      echo "$file -> $header" >>"$found"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files -- '*.h' '*.cpp' | grep -v -E '^(tests|bench)/')

sort -o "$found" "$found"
if ! diff -u <(grep -v '^#' "$exceptions" | sed '/^$/d' | sort) "$found" >/dev/null; then
  echo "check-layers: includes running back up differ from $exceptions:" >&2
  diff <(grep -v '^#' "$exceptions" | sed '/^$/d' | sort) "$found" | sed -n 's/^> /  new:  /p; s/^< /  gone: /p' >&2
  echo "check-layers: a new one must go (move the header down or the code up); a gone one leaves the list" >&2
  status=1
fi
echo "check-layers: $(wc -l <"$found") includes still run back up (listed in $exceptions)"
exit $status
