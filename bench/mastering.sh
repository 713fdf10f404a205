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

median() { sort -g | sed -n "$(( (reps + 1) / 2 ))p"; }

# Runs a command REPS times; prints "median_seconds median_peak_kib
# median_cpu_seconds status", status "ok" or "failed" (a tool that gave up).
measure() {
  local times=() mems=() cpus=() status=ok line
  for _ in $(seq 1 "$reps"); do
    sync
    /usr/bin/time -o "$dir/.time" -f '%e %M %U %S' "$@" >/dev/null 2>"$dir/.stderr" || status=failed
    line=$(grep -E '^[0-9.]+ [0-9]+ [0-9.]+ [0-9.]+$' "$dir/.time" | tail -1)
    local wall peak user system
    read -r wall peak user system <<<"${line:-0 0 0 0}"
    times+=("$wall")
    mems+=("$peak")
    cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')")
    [ "$status" = ok ] || break
  done
  printf '%s %s %s %s\n' "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${mems[@]}" | median)" \
    "$(printf '%s\n' "${cpus[@]}" | median)" "$status"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }'; }

entries() { find "$1" | wc -l; }

printf '%-8s %-12s %10s %10s %12s\n' corpus tool seconds cpu_s peak_MiB
for corpus in "${corpora[@]}"; do
  src="$dir/$corpus"
  [ -d "$src" ] || python3 "$top/bench/corpus.py" "$corpus" "$src"
  out="$dir/out-$corpus.iso"
  read -r t_ours m_ours c_ours s_ours < <(measure "$program" build --quiet -o "$out" "$src")
  read -r t_geniso m_geniso c_geniso s_geniso < <(measure genisoimage -quiet -D -J -joliet-long -o "$out.g" "$src")
  read -r t_xorriso m_xorriso c_xorriso s_xorriso < <(measure xorriso -as mkisofs -quiet -J -joliet-long -o "$out.x" "$src")
  rm -f "$out.g" "$out.x"
  for row in "tarnwickiso $t_ours $c_ours $m_ours $s_ours" "genisoimage $t_geniso $c_geniso $m_geniso $s_geniso" \
             "xorriso $t_xorriso $c_xorriso $m_xorriso $s_xorriso"; do
    set -- $row
    [ $# -eq 5 ] || set -- "$1" 0 0 0 failed
    printf '%-8s %-12s %10s %10s %12.1f %s\n' "$corpus" "$1" "$2" "$3" "$(awk -v k="$4" 'BEGIN { print k / 1024 }')" \
      "$([ "$5" = ok ] || echo "(gave up: no image)")"
  done
  n=$(entries "$src")
  budget=$(awk -v n="$n" 'BEGIN { printf "%.1f", (2 * n + 16384) / 1024 }')
  echo "  ratio tarnwickiso/genisoimage: $(ratio "$t_ours" "$t_geniso")   tarnwickiso/xorriso: $(ratio "$t_ours" "$t_xorriso")"
  echo "  peak memory: $(awk -v k="$m_ours" 'BEGIN { printf "%.1f", k / 1024 }') MiB for $n entries (budget $budget MiB)"
  if [ "$corpus" = large ]; then
    read -r t_raw _ c_raw _ < <(measure "$program" build --quiet --raw -o "$out.raw" "$src")
    echo "  raw build: $t_raw s (cpu $c_raw s), ratio raw/plain: $(ratio "$t_raw" "$t_ours") wall," \
      "$(ratio "$c_raw" "$c_ours") cpu"
    read -r t_to_raw _ < <(measure "$program" convert "$out")
    read -r t_to_plain _ < <(measure "$program" convert "$out.raw")
    echo "  conversion of the 640 MiB image: plain to raw $t_to_raw s, raw to plain $t_to_plain s"
    rm -f "$out.raw" "$out.iso" "$out.raw.iso"
  fi
  rm -f "$out"
done
