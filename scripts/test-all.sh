#!/usr/bin/env bash
# Builds every target (native, sanitized, fuzzers, both Windows cross builds) and
# runs every test, the Wine ones included. Prints one closing line
# "N passed, N failed" over the suites it ran.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)
fuzz_seconds=${TW_FUZZ_SECONDS:-20}

bash scripts/install-deps.sh || { echo "installing the dependencies failed"; exit 1; }

passed=0
failed=0
failures=()
suite() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name: passed ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name: FAILED ($((SECONDS - start)) s)"
  fi
}

build_native() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build build -j"$jobs"
}
test_native() { (cd build && ctest --output-on-failure); }

build_sanitized() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON >/dev/null &&
    cmake --build build-asan -j"$jobs" --target tarnwickiso tarnwickiso_tests
}
test_sanitized() {
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ./build-asan/tarnwickiso_tests
}

build_fuzzers() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_TESTS=OFF -DTW_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null &&
    cmake --build build-fuzz -j"$jobs" --target fuzz_dates fuzz_integer fuzz_registration_line \
      fuzz_build_options fuzz_cue_sheet fuzz_convert_direction fuzz_sector_repair fuzz_image_reader \
      fuzz_rock_ridge fuzz_extract
}
run_fuzzers() {
  local ok=0
  for f in fuzz_dates fuzz_integer fuzz_registration_line fuzz_build_options fuzz_cue_sheet fuzz_convert_direction fuzz_sector_repair \
    fuzz_image_reader fuzz_rock_ridge fuzz_extract; do
    mkdir -p "build-fuzz/corpus-$f"
    ./build-fuzz/$f -max_total_time="$fuzz_seconds" -print_final_stats=0 "build-fuzz/corpus-$f" \
      >"build-fuzz/$f.log" 2>&1 || { ok=1; tail -40 "build-fuzz/$f.log"; }
  done
  return $ok
}

# Both Windows builds in Release, so that the warnings of -O3 are caught: the
# i686 build is the product (and holds the compile-time checks of the 32-bit
# records); the x86_64 one runs the Wine suites where 32-bit programs cannot.
build_windows() {
  local dir=$1 toolchain=$2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null && cmake --build "$dir" -j"$jobs"
}
test_win32_portable() { bash tests/wine/run-portable-tests.sh; }

suite "layer check (no include runs back up)" bash scripts/check-layers.sh
check_formatting() { git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run -Werror; }
suite "formatting (clang-format)" check_formatting
suite "native build" build_native
suite "native tests" test_native
suite "sanitized build" build_sanitized
suite "sanitized tests" test_sanitized
suite "fuzzer build" build_fuzzers
suite "fuzzers (${fuzz_seconds} s each)" run_fuzzers
suite "Windows cross build (i686, Release)" build_windows build-win32 mingw-i686.cmake
suite "Windows cross build (x86_64, Release)" build_windows build-win64 mingw-x86_64.cmake
suite "portable tests under Wine" test_win32_portable
for script in tests/wine/test-*.sh; do
  [ -e "$script" ] || continue
  suite "Wine: $(basename "$script" .sh)" bash "$script"
done
# The install target, manual page, completions and packages: after the
# Windows builds, whose archives it makes and runs under Wine.
suite "packaging: install, manual page, completions, Debian package" bash tests/package/install_test.sh
suite "packaging: Windows archives" bash tests/package/windows_zip_test.sh
for script in tests/e2e/*_test.sh; do
  [ -e "$script" ] || continue
  suite "end to end: $(basename "$script" .sh)" bash "$script"
done

echo
[ "${#failures[@]}" -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
