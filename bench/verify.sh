#!/usr/bin/env bash
# Sector check benchmark: makes a raw image of about 700 MB (a raw build of
# the "large" corpus), reads it once into the page cache, and prints the CPU
# time per byte of:
#   verify --no-structure   on the default encoder path, the AVX2 one and the
#                           portable one (TW_ENCODER_PATH; target: at least
#                           2 GB/s per core with AVX2, 500 MB/s portable)
#   verify --hashes         CRC32, MD5, SHA-1 and SHA-256 in the same pass: CPU
#                           time, and wall time against the slowest of md5sum,
#                           sha1sum and sha256sum run alone on the image, the
#                           four taken in turn in each repetition (target: at
#                           most 1.1 on two cores or more)
#   repair                  of the clean image into a second file, against
#                           verify (target: ratio at most 1, i.e. as fast;
#                           the output is written by the system where it can
#                           copy between files, and that writing is counted)
#   build --verify          wall time added to a build of the corpus, plain and
#                           raw, against one read of the image (dd, 256 KiB
#                           blocks; target: at most one read)
# Each figure is the best of REPETITIONS runs.
#
# usage: bench/verify.sh [REPETITIONS]   (default 3)
# The corpus and image stay under ${TW_BENCH_DIR:-/tmp/tw-bench}.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
reps=${1:-3}
dir=${TW_BENCH_DIR:-/tmp/tw-bench}
mkdir -p "$dir"
[ -x "$program" ] || { echo "build the program first: cmake --build build --target tarnwickiso"; exit 1; }

[ -d "$dir/large" ] || python3 "$top/bench/corpus.py" large "$dir/large"
image=$dir/verify.bin
if [ ! -s "$image" ]; then
  SOURCE_DATE_EPOCH=1700000000 "$program" build --quiet --raw -o "$image" "$dir/large"
fi
size=$(stat -c %s "$image")
cat "$image" > /dev/null

# Best CPU time (user + system, seconds) of REPETITIONS runs of the command.
best_cpu() {
  local best= t
  for _ in $(seq "$reps"); do
    rm -f "$dir/repaired.bin"
    /usr/bin/time -o "$dir/.time" -f '%U %S' "$@" > /dev/null 2> "$dir/.stderr" || {
      echo "failed: $*" >&2
      cat "$dir/.stderr" >&2
      exit 1
    }
    t=$(tail -1 "$dir/.time" | awk -v user_only="${user_only:-}" '{ print user_only ? $1 : $1 + $2 }')
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
  done
  echo "$best"
}
# Best wall time (seconds) of REPETITIONS runs of the command.
best_wall() {
  local best= t start
  for _ in $(seq "$reps"); do
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
  done
  echo "$best"
}
rate() { awk "BEGIN { printf \"%.2f\", $size / ($1 > 0 ? $1 : 0.001) / 1e9 }"; }
# Wall time (seconds) of one run of the command.
wall_once() {
  local start
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

# verify --hashes and the three sum programs in turn, best of each.
hashes_wall= md5_wall= sha1_wall= sha256_wall=
for _ in $(seq "$reps"); do
  hashes_wall=$(smaller "$hashes_wall" "$(wall_once "$program" verify --hashes "$image")")
  md5_wall=$(smaller "$md5_wall" "$(wall_once md5sum "$image")")
  sha1_wall=$(smaller "$sha1_wall" "$(wall_once sha1sum "$image")")
  sha256_wall=$(smaller "$sha256_wall" "$(wall_once sha256sum "$image")")
done
slowest_sum=$(awk -v a="$md5_wall" -v b="$sha1_wall" -v c="$sha256_wall" \
  'BEGIN { m = a; if (b > m) m = b; if (c > m) m = c; print m }')

default=$(best_cpu "$program" verify --no-structure "$image")
avx2=$(TW_ENCODER_PATH=avx2 best_cpu "$program" verify --no-structure "$image")
portable=$(TW_ENCODER_PATH=portable best_cpu "$program" verify --no-structure "$image")
hashes=$(best_cpu "$program" verify --no-structure --hashes "$image")
repair=$(best_cpu "$program" repair "$image" -o "$dir/repaired.bin")
repair_user=$(user_only=1 best_cpu "$program" repair "$image" -o "$dir/repaired.bin")
verify_user=$(user_only=1 best_cpu "$program" verify --no-structure "$image")
rm -f "$dir/repaired.bin"
built=$dir/verify-build.img
plain_build=$(best_wall "$program" build --quiet -o "$built" "$dir/large")
plain_verify=$(best_wall "$program" build --quiet --verify -o "$built" "$dir/large")
plain_read=$(best_wall dd if="$built" of=/dev/null bs=256K)
raw_build=$(best_wall "$program" build --quiet --raw -o "$built" "$dir/large")
raw_verify=$(best_wall "$program" build --quiet --raw --verify -o "$built" "$dir/large")
raw_read=$(best_wall dd if="$built" of=/dev/null bs=256K)
rm -f "$built"
echo "image: $image, $size bytes"
echo "verify, default path: $default s CPU, $(rate "$default") GB/s (at least 2)"
echo "verify, avx2 path (the default without AVX-512): $avx2 s CPU, $(rate "$avx2") GB/s (at least 2)"
echo "verify, portable path: $portable s CPU, $(rate "$portable") GB/s (at least 0.5)"
echo "verify --hashes: $hashes s CPU, $(rate "$hashes") GB/s"
echo "verify --hashes: $hashes_wall s wall on $(nproc) processors; md5sum $md5_wall s, sha1sum $sha1_wall s," \
  "sha256sum $sha256_wall s; against the slowest" \
  "$(awk "BEGIN { printf \"%.2f\", $hashes_wall / ($slowest_sum > 0 ? $slowest_sum : 0.001) }") (at most 1.1)"
echo "repair of the clean image: $repair s CPU, $(rate "$repair") GB/s," \
  "repair/verify $(awk "BEGIN { printf \"%.2f\", $repair / ($default > 0 ? $default : 0.001) }") (at most 1)"
echo "  in user time alone (without the system's writing of the output): repair $repair_user s," \
  "verify $verify_user s, ratio $(awk "BEGIN { printf \"%.2f\", $repair_user / ($verify_user > 0 ? $verify_user : 0.001) }")"
for form in plain raw; do
  eval "b=\$${form}_build v=\$${form}_verify r=\$${form}_read"
  echo "build --verify ($form): build $b s, with --verify $v s, added $(awk "BEGIN { printf \"%.3f\", $v - $b }") s;" \
    "one read of the image $r s; added/read $(awk "BEGIN { printf \"%.2f\", ($v - $b) / ($r > 0 ? $r : 0.001) }") (at most 1)"
done
