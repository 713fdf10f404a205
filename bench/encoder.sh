#!/bin/sh
# Encoder throughput per code path, whole-file conversion both ways, and, with
# a corpus folder, a raw build against a plain build of the same tree.
#   bench/encoder.sh [BUILD_DIR] [WORK_DIR] [CORPUS_DIR]
# (make a corpus with the benchmark corpus script, kind "large")
set -e
build=${1:-build}
work=${2:-${TMPDIR:-/tmp}}
corpus=$3
cmake --build "$build" --target encoder_bench tarnwickiso
"$build/bench/encoder_bench"
"$build/bench/encoder_bench" convert "$work" 640
[ -n "$corpus" ] || exit 0

tool=$build/tarnwickiso
dates="--creation-date 2024010112000000 --modification-date 2024010112000000 --root-date 2024010112000000"
best() {  # best wall time of three runs of "$@", in seconds
    b=
    for i in 1 2 3; do
        s=$(date +%s.%N); "$@" > /dev/null; e=$(date +%s.%N)
        t=$(awk "BEGIN { print $e - $s }")
        if [ -z "$b" ] || awk "BEGIN { exit !($t < $b) }"; then b=$t; fi
    done
    echo "$b"
}
plain=$(best "$tool" build $dates -o "$work/bench_plain.iso" "$corpus")
raw=$(best "$tool" build $dates --raw -o "$work/bench_raw.bin" "$corpus")
echo "build of $corpus: plain $plain s, raw $raw s, ratio $(awk "BEGIN { printf \"%.2f\", $raw / $plain }")"
rm -f "$work/bench_plain.iso.iso"
"$tool" convert "$work/bench_plain.iso" > /dev/null
if cmp -s "$work/bench_plain.iso.iso" "$work/bench_raw.bin"; then
    echo "raw build and converted plain build: identical"
else
    echo "raw build and converted plain build: DIFFERENT"
fi
rm -f "$work/bench_plain.iso" "$work/bench_plain.iso.iso" "$work/bench_raw.bin"
