#!/usr/bin/env bash
# Extraction benchmark: the -R image of each corpus, taken out by
# tarnwickiso extract and by its peer, one after the other per repetition,
# the output folder removed (untimed) before each run. Prints the least wall
# time of each and the ratio:
#   small  tarnwickiso extract / bsdtar -xf   (at most 1.5)
#   large  tarnwickiso extract / cat IMAGE > FILE   (at most 1.2)
# usage: bench/extract.sh [REPETITIONS] [small|large ...]   (default: 5 small large)
# Corpora and images stay under ${TW_BENCH_DIR:-/tmp/tw-bench}.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
reps=${1:-5}
shift || true
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=(small large)
dir=${TW_BENCH_DIR:-/tmp/tw-bench}
mkdir -p "$dir"
[ -x "$program" ] || { echo "build the program first: cmake --build build --target tarnwickiso"; exit 1; }
command -v bsdtar >/dev/null || { echo "bsdtar is missing (package libarchive-tools)"; exit 1; }

# Wall time of one run, in seconds.
wall() {
  local start
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}
least() { printf '%s\n' "$@" | sort -g | head -1; }

for corpus in "${corpora[@]}"; do
  [ -d "$dir/$corpus" ] || python3 "$top/bench/corpus.py" "$corpus" "$dir/$corpus"
  image=$dir/extract-$corpus.iso
  [ -s "$image" ] || SOURCE_DATE_EPOCH=1700000000 "$program" build -R --quiet -o "$image" "$dir/$corpus"
  cat "$image" >/dev/null
  ours=() theirs=()
  for _ in $(seq "$reps"); do
    rm -rf "$dir/x-ours" "$dir/x-peer" "$dir/x-cat"
    mkdir -p "$dir/x-peer"
    ours+=("$(wall "$program" extract "$image" -C "$dir/x-ours")")
    if [ "$corpus" = small ]; then
      theirs+=("$(wall bsdtar -xf "$image" -C "$dir/x-peer")")
    else
      theirs+=("$(wall sh -c "cat '$image' > '$dir/x-cat'")")
    fi
    sync
  done
  rm -rf "$dir/x-ours" "$dir/x-peer" "$dir/x-cat"
  a=$(least "${ours[@]}")
  b=$(least "${theirs[@]}")
  if [ "$corpus" = small ]; then peer="bsdtar -xf" limit=1.5; else peer="cat" limit=1.2; fi
  awk -v a="$a" -v b="$b" -v c="$corpus" -v p="$peer" -v l="$limit" 'BEGIN {
    r = a / b; printf "%-6s extract %.3f s, %s %.3f s: ratio %.3f (at most %s) %s\n", c, a, p, b, r, l, (r <= l ? "ok" : "OVER") }'
done
