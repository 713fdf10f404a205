#!/bin/sh
# Encoder throughput per code path, then whole-file conversion both ways.
#   bench/encoder.sh [BUILD_DIR] [WORK_DIR]
set -e
build=${1:-build}
work=${2:-${TMPDIR:-/tmp}}
cmake --build "$build" --target encoder_bench
"$build/bench/encoder_bench"
"$build/bench/encoder_bench" convert "$work" 640
