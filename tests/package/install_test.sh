#!/usr/bin/env bash
# The installed program and its package: `cmake --install` into a scratch
# prefix (program, manual page, completions, README, licence), the manual
# page through mandoc's and man's checks, the bash and zsh completions as
# their shells load them, the option-drift check, and the Debian package
# (contents, dependencies, lintian; installed with apt-get only where
# TW_CI_MAY_INSTALL=1 says the machine may be changed, as root).
#
#   install_test.sh [NATIVE_BUILD_DIR]
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd) || exit 1
work=$(mktemp -d /tmp/tw-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
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
    sed 's/^/    /' "$work/check.log" | tail -40
    failed=$((failed + 1))
  fi
}
skip() { echo "skipped: $1 ($2)"; }

installed_files() {
  cmake --install "$build" --prefix "$prefix" >/dev/null || return 1
  local expected="bin/tarnwickiso
share/bash-completion/completions/tarnwickiso
share/doc/tarnwickiso/LICENSE
share/doc/tarnwickiso/README.md
share/man/man1/tarnwickiso.1.gz
share/zsh/site-functions/_tarnwickiso"
  diff <(echo "$expected") <(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) &&
    [ -x "$prefix/bin/tarnwickiso" ]
}

installed_program_builds() {
  [ "$("$prefix/bin/tarnwickiso" --version)" = "tarnwickiso $version" ] || { echo "--version: not $version"; return 1; }
  SOURCE_DATE_EPOCH=1070971200 "$prefix/bin/tarnwickiso" build --quiet -R -o "$work/sample.iso" "$top/samples/disc" &&
    "$prefix/bin/tarnwickiso" verify "$work/sample.iso"
}

# mandoc's lint at every level (style included) and man's own run of groff
# with its warnings find nothing; man finds the page in the prefix.
manual_page_clean() {
  local page=$prefix/share/man/man1/tarnwickiso.1.gz
  mandoc -T lint "$page" || return 1
  local warnings
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "man --warnings: $warnings"; return 1; }
  [ "$(MANPATH="$prefix/share/man" man -w tarnwickiso)" = "$page" ] || { echo "man -w does not find $page"; return 1; }
  local section
  for section in SYNOPSIS COMMANDS "BUILD OPTIONS" "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
    zcat "$page" | grep -q "^\.SH \"\?$section\"\?$" || { echo "no section $section"; return 1; }
  done
}

# What bash offers, through bash-completion's loader from the prefix's
# share folder (the place it looks in) and directly.
bash_completion_offers() {
  cd "$work" && mkdir -p pick && : >pick/image-one.iso && bash --norc --noprofile -c '
    ask() { COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _tarnwickiso
            printf "%s\n" "${COMPREPLY[*]}"; }
    expect() { local want=$1; shift; local got; got=$(ask "$@")
               [ "$got" = "$want" ] || { echo "[$*]: \"$got\", not \"$want\""; exit 1; }; }
    if [ -f /usr/share/bash-completion/bash_completion ]; then
      . /usr/share/bash-completion/bash_completion
      XDG_DATA_DIRS=$1/share __load_completion tarnwickiso
      complete -p tarnwickiso | grep -q -- "-F _tarnwickiso" || { echo "bash-completion did not load it"; exit 1; }
    else
      . "$1/share/bash-completion/completions/tarnwickiso"
    fi
    expect "verify" tarnwickiso ve
    expect "disk-image drive-id" tarnwickiso d
    expect "--boot-media" tarnwickiso build --boot-m
    expect "--hashes --hash" tarnwickiso verify --ha
    expect "--exact --expiration-date --exclude" tarnwickiso estimate --ex
    expect "1.2 1.44" tarnwickiso build --boot-media 1.
    expect "1.2 1.44" tarnwickiso build --boot-media = 1.
    expect "80x86 powerpc mac" tarnwickiso build --boot-platform ""
    expect "CP932" tarnwickiso estimate --code-page C
    expect "" tarnwickiso build --volume-id ""
    expect "pick/image-one.iso" tarnwickiso build -o pick/im
    expect "pick/image-one.iso" tarnwickiso verify -- pick/i
    expect "" tarnwickiso unknown-command -
    expect "rock-ridge joliet iso9660" tarnwickiso extract --tree ""
    expect "pick/image-one.iso" tarnwickiso ls -l --tree joliet pick/i
    expect "" tarnwickiso ls pick/image-one.iso pick/i
  ' bash "$prefix"
}

# zsh's compinit finds the function in the installed folder and binds it,
# and an interactive zsh offers a command, options and fixed values.
zsh_completion_offers() {
  zsh -f -c 'fpath=("$1/share/zsh/site-functions" $fpath); autoload -Uz compinit; compinit -u -D
             [[ $_comps[tarnwickiso] == _tarnwickiso ]]' zsh "$prefix" || { echo "compinit did not bind it"; return 1; }
  ask() { zsh -f "$top/tests/package/zsh_complete.zsh" "$prefix/share/zsh/site-functions" "$@"; }
  ask "tarnwickiso ver" "tarnwickiso verify " &&
    ask "tarnwickiso verify --" --hashes --no-structure --cue &&
    ask "tarnwickiso build --boot-media " custom 1.2 1.44 2.88 hd &&
    ask "tarnwickiso estimate --code-page=" UTF-8 CP932
}

drift="$top/tests/package/option_drift_test.py"
options_agree() {
  python3 "$drift" "$build/tarnwickiso" "$build/doc/tarnwickiso.1" "$top/completions/tarnwickiso.bash" \
    "$top/completions/_tarnwickiso"
}
# The check itself: an option taken out of the page, a command out of the
# bash completion and a value out of the zsh one are each named.
drift_is_caught() {
  mkdir -p "$work/drift" && cp "$top/completions/_tarnwickiso" "$work/drift/"
  sed '/^\.BI \\-\\-boot\\-id/d' "$build/doc/tarnwickiso.1" >"$work/drift/page.1"
  sed 's/^_tarnwickiso_commands="\(.*\) drive-id"/_tarnwickiso_commands="\1"/' "$top/completions/tarnwickiso.bash" \
    >"$work/drift/bash"
  sed -i 's/(custom 1.2 1.44 2.88 hd)/(custom 1.2 1.44 2.88)/' "$work/drift/_tarnwickiso"
  local out
  out=$(python3 "$drift" "$build/tarnwickiso" "$work/drift/page.1" "$work/drift/bash" "$work/drift/_tarnwickiso") &&
    { echo "no difference found"; return 1; }
  echo "$out"
  grep -q '^build --boot-id: .*missing from manual page$' <<<"$out" &&
    grep -q '^command drive-id: .*missing from bash completion$' <<<"$out" &&
    grep -q '^values of --boot-media: .*zsh completion: custom|1.2|1.44|2.88$' <<<"$out"
}

deb=""
package_made() {
  (cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || return 1
  deb=$(ls "$work"/deb/tarnwickiso_*.deb) && [ -f "$deb" ]
}

package_control() {
  dpkg-deb -I "$deb"
  local field
  for field in "Package: tarnwickiso" "Version: $version" "Architecture: $(dpkg --print-architecture)" \
    "Section: otherosfs" "Maintainer: The TarnwickISO authors"; do
    dpkg-deb -f "$deb" | grep -q "^$field" || { echo "no $field"; return 1; }
  done
  # dpkg-shlibdeps: the C and C++ runtimes the program links, with versions.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 'libstdc\+\+6' libgcc-s1; do
    grep -Eq "(^|, )$lib \(>= [^)]+\)" <<<"$depends" || { echo "Depends lacks $lib: $depends"; return 1; }
  done
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || { echo "no long text in the Description field"; return 1; }
}

package_contents() {
  local expected="./usr/bin/tarnwickiso
./usr/share/bash-completion/completions/tarnwickiso
./usr/share/doc/tarnwickiso/README.md
./usr/share/doc/tarnwickiso/changelog.gz
./usr/share/doc/tarnwickiso/copyright
./usr/share/man/man1/tarnwickiso.1.gz
./usr/share/zsh/vendor-completions/_tarnwickiso"
  dpkg-deb -c "$deb"
  diff <(echo "$expected") <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort) || return 1
  dpkg-deb -x "$deb" "$work/unpacked" &&
    [ "$("$work/unpacked/usr/bin/tarnwickiso" --version)" = "tarnwickiso $version" ] &&
    grep -q "^Copyright [0-9-]* The TarnwickISO authors$" "$work/unpacked/usr/share/doc/tarnwickiso/copyright" &&
    grep -q "^Permission is hereby granted, free of charge" "$work/unpacked/usr/share/doc/tarnwickiso/copyright" &&
    ! file "$work/unpacked/usr/bin/tarnwickiso" | grep -q "not stripped"
}

# No errors; the remaining tags are printed.
lintian_clean() {
  lintian --pedantic --info --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1
  grep -v '^N:' "$work/lintian.log"
  ! grep -q '^E:' "$work/lintian.log"
}

apt_install_and_remove() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" || return 1
  local status=0
  [ "$(/usr/bin/tarnwickiso --version)" = "tarnwickiso $version" ] || status=1
  [ "$(man -w tarnwickiso)" = /usr/share/man/man1/tarnwickiso.1.gz ] || { echo "man -w: not the package's page"; status=1; }
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -q tarnwickiso || status=1
  [ ! -e /usr/bin/tarnwickiso ] || { echo "/usr/bin/tarnwickiso is still there"; status=1; }
  return $status
}

check "cmake --install puts every file in its place" installed_files
check "the installed program runs (--version, a build, verify)" installed_program_builds
if command -v mandoc >/dev/null; then
  check "manual page: mandoc -T lint, man --warnings, man -w, sections" manual_page_clean
else
  check "mandoc is installed (for the manual page's lint)" false
fi
check "bash completion: commands, options, fixed values, files" bash_completion_offers
if command -v zsh >/dev/null; then
  check "zsh completion: bound by compinit; commands, options, fixed values" zsh_completion_offers
  check "options of --help, manual page, bash and zsh completions agree" options_agree
  check "the drift check names what one source lacks" drift_is_caught
else
  check "zsh is installed (for the zsh completion and the drift check)" false
fi
if check "cpack -G DEB makes the package" package_made && [ -n "$deb" ]; then
  check "dpkg-deb -I: name, version, section, dependencies, Description" package_control
  check "dpkg-deb -c: the files meant, and the unpacked program runs" package_contents
  if command -v lintian >/dev/null; then
    check "lintian reports no errors" lintian_clean
  else
    check "lintian is installed" false
  fi
  if [ "${TW_CI_MAY_INSTALL:-0}" != 1 ]; then
    skip "apt-get install and remove of the package" "TW_CI_MAY_INSTALL=1 is not set: this machine is not one the tests may change"
  elif [ "$(id -u)" != 0 ]; then
    skip "apt-get install and remove of the package" "not root"
  elif dpkg-query -W -f='${Status}' tarnwickiso 2>/dev/null | grep -q "install ok installed"; then
    skip "apt-get install and remove of the package" "a tarnwickiso package is already installed and stays as it is"
  else
    check "apt-get install, --version, man -w, apt-get remove" apt_install_and_remove
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
