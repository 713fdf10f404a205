#!/usr/bin/env bash
# The Windows archives: `cpack -G ZIP` of each Windows build (build-win32,
# the product, and build-win64) holds both programs of its machine, the
# README and the licence as CR LF text equal to the sources; the programs
# of the archive that Wine can run here (tests/wine/env.sh decides) run:
# the command line writes the same image as the Linux program, and the
# window program starts and ends with code 0 when asked to close.
#
#   windows_zip_test.sh [NATIVE_BUILD_DIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
native=${1:-$top/build}/tarnwickiso
work=$(mktemp -d /tmp/tw-zip.XXXXXX)
passed=0
failed=0
version=$(sed -n 's/^project(TarnwickISO VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")

check() {
  local name=$1
  shift
  if "$@" >"$work/check.log" 2>&1; then
    echo "ok: $name"
    passed=$((passed + 1))
  else
    echo "FAILED: $name"
    sed 's/^/    /' "$work/check.log" | tail -30
    failed=$((failed + 1))
  fi
}

archive_made() {
  local name=$1
  (cd "$top/build-$name" && cpack -G ZIP -B "$work/$name" >/dev/null) &&
    [ -f "$work/$name/TarnwickISO-$version-$name.zip" ]
}

# Exactly the four files, the programs for the build's machine, the texts
# with CR LF only and otherwise the sources' bytes.
archive_holds() {
  local name=$1 machine=$2 folder=TarnwickISO-$version-$1
  local zip=$work/$name/$folder.zip
  unzip -l "$zip"
  diff <(printf '%s\n' LICENSE.txt README.txt TarnwickISO.exe tarnwickiso.exe) \
    <(unzip -Z1 "$zip" | sed -n "s|^$folder/||p" | LC_ALL=C sort) || return 1
  unzip -q -o "$zip" -d "$work/$name" || return 1
  local program text
  for program in tarnwickiso.exe TarnwickISO.exe; do
    file "$work/$name/$folder/$program" | grep -q "$machine" || { echo "$program is not for $machine"; return 1; }
  done
  for text in README.md:README.txt LICENSE:LICENSE.txt; do
    local source=${text%%:*} copy=$work/$name/$folder/${text##*:}
    if grep -q $'[^\r]$\|^$' "$copy"; then
      echo "${text##*:} has a line without CR LF"
      return 1
    fi
    cmp <(tr -d '\r' <"$copy") "$top/$source" || return 1
  done
}

# The command-line program of the archive writes the bytes the Linux one
# writes; the window program starts and ends with code 0 on a close.
archive_programs_run() {
  local folder=$work/$1/TarnwickISO-$version-$1
  cp -r "$top/samples/disc" "$work/disc" && find "$work/disc" -exec touch -h -d '2003-11-26 10:20:30 UTC' {} + &&
    SOURCE_DATE_EPOCH=1070971200 TZ=UTC "$native" build --quiet -o "$work/linux.iso" "$work/disc" || return 1
  local answer
  answer=$(wine "$folder/tarnwickiso.exe" --version | tr -d '\r')
  [ "$answer" = "tarnwickiso $version" ] || { echo "--version: '$answer'"; return 1; }
  (cd "$work" && SOURCE_DATE_EPOCH=1070971200 wine "$folder/tarnwickiso.exe" build --quiet -o windows.iso disc) ||
    return 1
  cmp "$work/linux.iso" "$work/windows.iso" || return 1
  # A wine server started without a display would keep it that way.
  tw_stop_wine
  tw_start_xvfb || return 1
  (timeout 60 wine "$folder/TarnwickISO.exe" >/dev/null 2>&1; echo $? >"$work/gui.rc") &
  local i=0
  until wine tasklist 2>/dev/null | grep -q TarnwickISO.exe || [ "$i" -gt 50 ]; do
    sleep 0.2
    i=$((i + 1))
  done
  sleep 1
  wine taskkill /im TarnwickISO.exe >/dev/null 2>&1
  i=0
  while [ ! -s "$work/gui.rc" ] && [ "$i" -lt 150 ]; do
    sleep 0.2
    i=$((i + 1))
  done
  tw_stop_xvfb
  [ "$(cat "$work/gui.rc" 2>/dev/null)" = 0 ] || {
    echo "TarnwickISO.exe did not end with code 0 on close: $(cat "$work/gui.rc" 2>/dev/null)"
    return 1
  }
}

for pair in win32:"Intel 80386" win64:x86-64; do
  name=${pair%%:*}
  if [ ! -f "$top/build-$name/CPackConfig.cmake" ]; then
    check "build-$name is configured (cmake -S . -B build-$name with its toolchain)" false
    continue
  fi
  check "cpack -G ZIP in build-$name" archive_made "$name" &&
    check "the $name archive: both programs, README and licence as CR LF text" archive_holds "$name" "${pair#*:}"
done

. "$top/tests/wine/env.sh"
trap 'tw_stop_wine; tw_stop_xvfb; rm -rf "$work"' EXIT
chosen=${TW_WIN_BUILD##*-}
if ! tw_announce_wine; then
  check "Wine runs a Windows build here" false
elif [ ! -d "$work/$chosen" ]; then
  check "the $chosen archive was made, for Wine to run" false
else
  sh "$top/tests/wine/setup-prefix.sh" >/dev/null
  check "the $chosen archive's programs run under Wine" archive_programs_run "$chosen"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
