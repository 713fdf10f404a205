#!/usr/bin/env bash
# Mastering benchmark: builds each corpus with tarnwickiso, genisoimage and
# xorriso in one run and prints wall time, peak memory and the ratios
# (medians over the repetitions). Also the raw build of corpus `large`
# against its plain build, and the conversion of a 640 MiB image each way.
#
# usage: bench/mastering.sh [REPETITIONS] [CORPUS...]   (default: 3 small large flat)
# The corpora are written once under ${TW_BENCH_DIR:-/tmp/tw-bench}.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
reps=${1:-3}
shift || true
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=(small large flat)
dir=${TW_BENCH_DIR:-/tmp/tw-bench}
mkdir -p "$dir"
[ -x "$program" ] || { echo "build the program first: cmake --build build --target tarnwickiso"; exit 1; }

# Runs a command REPS times; prints "median_seconds median_peak_kib".
measure() {
  local times=() mems=() line
  for _ in $(seq 1 "$reps"); do
    sync
    /usr/bin/time -o "$dir/.time" -f '%e %M' "$@" >/dev/null 2>&1
    line=$(tail -1 "$dir/.time")
    times+=("${line% *}")
    mems+=("${line#* }")
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(( (reps + 1) / 2 ))p")" \
    "$(printf '%s\n' "${mems[@]}" | sort -g | sed -n "$(( (reps + 1) / 2 ))p")"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }'; }

entries() { find "$1" | wc -l; }

printf '%-8s %-12s %10s %12s\n' corpus tool seconds peak_MiB
for corpus in "${corpora[@]}"; do
  src="$dir/$corpus"
  [ -d "$src" ] || python3 "$top/bench/corpus.py" "$corpus" "$src"
  out="$dir/out-$corpus.iso"
  read -r t_ours m_ours < <(measure "$program" build --quiet -o "$out" "$src")
  read -r t_geniso m_geniso < <(measure genisoimage -quiet -D -J -joliet-long -o "$out.g" "$src")
  read -r t_xorriso m_xorriso < <(measure xorriso -as mkisofs -quiet -J -joliet-long -o "$out.x" "$src")
  rm -f "$out.g" "$out.x"
  for row in "tarnwickiso $t_ours $m_ours" "genisoimage $t_geniso $m_geniso" "xorriso $t_xorriso $m_xorriso"; do
    set -- $row
    printf '%-8s %-12s %10s %12.1f\n' "$corpus" "$1" "$2" "$(awk -v k="$3" 'BEGIN { print k / 1024 }')"
  done
  n=$(entries "$src")
  budget=$(awk -v n="$n" 'BEGIN { printf "%.1f", (2 * n + 16384) / 1024 }')
  echo "  ratio tarnwickiso/genisoimage: $(ratio "$t_ours" "$t_geniso")   tarnwickiso/xorriso: $(ratio "$t_ours" "$t_xorriso")"
  echo "  peak memory: $(awk -v k="$m_ours" 'BEGIN { printf "%.1f", k / 1024 }') MiB for $n entries (budget $budget MiB)"
  if [ "$corpus" = large ]; then
    read -r t_raw _ < <(measure "$program" build --quiet --raw -o "$out.raw" "$src")
    echo "  raw build: $t_raw s, ratio raw/plain: $(ratio "$t_raw" "$t_ours")"
    read -r t_to_raw _ < <(measure "$program" convert "$out")
    read -r t_to_plain _ < <(measure "$program" convert "$out.raw")
    echo "  conversion of the 640 MiB image: plain to raw $t_to_raw s, raw to plain $t_to_plain s"
    rm -f "$out.raw" "$out.iso" "$out.raw.iso"
  fi
  rm -f "$out"
done
