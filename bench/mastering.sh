#!/usr/bin/env bash
# Mastering benchmark: builds each corpus with tarnwickiso and its peers, one
# run of each tool after the other per repetition, and prints wall time, CPU
# time and peak memory (medians), then every target figure as the median of
# the ratios taken within each repetition, beside its limit:
#   small  tarnwickiso/genisoimage (at most 0.6), tarnwickiso/tar -cf (at most
#          1.2), and the stat-family, open and fcntl calls per entry of one
#          build under strace -c -f (stat-family at most 2)
#   large  tarnwickiso/cat of the files into one file (at most 1.1), raw/plain
#          CPU time (at most 1.1) beside its floor (the least work of any raw
#          build, bench/raw_floor_bench, against the plain build), conversion
#          of the image both ways (at least 2 GB/s)
#   huge   tarnwickiso/genisoimage (at most 0.6), peak memory against
#          genisoimage's (at most 1.0), huge/small wall time (at most 11)
#   Rock Ridge (-R, beside genisoimage -R -J): small/tar -cf (at most 1.2),
#          small -R/small (at most 1.15), huge/genisoimage -R -J (at most
#          0.6) and peak memory against it (at most 1.0)
#   five   one 5 GiB file (several extents): tarnwickiso/cat (at most 1.1)
#
# usage: bench/mastering.sh [REPETITIONS] [CORPUS...]   (default: 3 small large flat huge)
# The corpora are written once under ${TW_BENCH_DIR:-/tmp/tw-bench}. Every
# output is removed before each run, so that no tool pays for replacing the
# previous run's file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=${TARNWICKISO:-$top/build/tarnwickiso}
reps=${1:-3}
shift || true
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=(small large flat huge)
dir=${TW_BENCH_DIR:-/tmp/tw-bench}
mkdir -p "$dir"
[ -x "$program" ] || { echo "build the program first: cmake --build build --target tarnwickiso"; exit 1; }
floor=${TW_RAW_FLOOR:-$(dirname "$program")/bench/raw_floor_bench}

# Median of the numbers given (the lower middle one of an even count).
med() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : 0) }'; }

# One run of a command writing OUT (removed first): "wall peak_kib cpu status".
run_once() {
  local out=$1 line wall peak user system status=ok
  shift
  rm -f "$out"
  sync
  /usr/bin/time -o "$dir/.time" -f '%e %M %U %S' "$@" >/dev/null 2>"$dir/.stderr" || status=failed
  line=$(grep -E '^[0-9.]+ [0-9]+ [0-9.]+ [0-9.]+$' "$dir/.time" | tail -1)
  read -r wall peak user system <<<"${line:-0 0 0 0}"
  echo "$wall $peak $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') $status"
}

# CPU seconds (user + system) of one run of a command writing OUT (removed
# first), to the microsecond where /usr/bin/time gives hundredths: the raw and
# plain builds of large take a few tenths of a second. 0 when the run fails.
cpu_once() {
  local out=$1
  shift
  rm -f "$out"
  sync
  python3 -c 'import os, sys
quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_WRONLY, 0) for fd in (1, 2)]
pid = os.posix_spawnp(sys.argv[1], sys.argv[1:], os.environ, file_actions=quiet)
_, status, usage = os.wait4(pid, 0)
print("%.6f" % (usage.ru_utime + usage.ru_stime) if status == 0 else 0)' "$@"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }'; }

# "NAME: WHAT VALUE (limit at most|at least LIMIT)" and whether it is met.
report() {
  local name=$1 what=$2 value=$3 kind=$4 limit=$5 verdict
  verdict=$(awk -v v="$value" -v l="$limit" -v k="$kind" 'BEGIN {
    if (v == "n/a") print "no figure"; else if ((k == "most" && v <= l) || (k == "least" && v >= l)) print "met";
    else print "NOT met" }')
  printf '  %s: %s %s (limit: at %s %s) %s\n' "$name" "$what" "$value" "$kind" "$limit" "$verdict"
}

# Calls per entry of one build under strace -c -f, by family.
strace_counts() {
  local src=$1 n=$2 out=$3
  if ! command -v strace >/dev/null; then
    echo "  $4: strace missing, no system call counts"
    return
  fi
  rm -f "$out"
  strace -c -f -o "$dir/.strace" "$program" build --quiet -o "$out" "$src" >/dev/null 2>&1 || true
  rm -f "$out"
  awk -v n="$n" -v name="$4" '
    $4 ~ /^[0-9]+$/ {
      s = $NF
      if (s ~ /^(stat|lstat|fstat|newfstatat|fstatat64|statx|stat64|lstat64|fstat64|oldstat|oldlstat|oldfstat)$/) st += $4
      else if (s ~ /^(open|openat|openat2)$/) op += $4
      else if (s ~ /^(fcntl|fcntl64)$/) fc += $4
    }
    END {
      printf "  %s: per entry (%d entries) stat-family %.2f (%d calls), open %.2f (%d), fcntl %.2f (%d)\n", \
        name, n, st / n, st, op / n, op, fc / n, fc
    }' "$dir/.strace" > "$dir/.counts"
  cat "$dir/.counts"
  report "$4" "stat-family calls per entry" "$(awk -v n="$n" '/stat-family/ { gsub(/[()]/, ""); for (i = 1; i <= NF; ++i) if ($i == "stat-family") print $(i + 1) }' "$dir/.counts")" most 2
}

# Median of the ratios of two lists of figures taken in the same repetitions.
rep_ratio() {
  local a=($1) b=($2) r=() i
  for i in "${!a[@]}"; do r+=("$(ratio "${a[$i]}" "${b[$i]:-0}")"); done
  med "${r[@]}"
}

declare -A wall_of
printf '%-8s %-12s %10s %10s %12s\n' corpus tool seconds cpu_s peak_MiB
for corpus in "${corpora[@]}"; do
  src="$dir/$corpus"
  [ -d "$src" ] || python3 "$top/bench/corpus.py" "$corpus" "$src"
  out="$dir/out-$corpus.iso"
  tools=(tarnwickiso genisoimage xorriso)
  [ "$corpus" = small ] && tools+=(tar)
  [ "$corpus" = large ] || [ "$corpus" = five ] && tools+=(cat)
  [ "$corpus" = small ] || [ "$corpus" = huge ] && tools+=(tarnwickiso-R genisoimage-R)
  # The peers take files of 4 GiB and more at ISO level 3 only.
  level=()
  [ "$corpus" = five ] && level=(-iso-level 3)
  declare -A walls=() cpus=() peaks=() failed=()
  for _ in $(seq 1 "$reps"); do
    for tool in "${tools[@]}"; do
      case $tool in
        tarnwickiso) result=$(run_once "$out" "$program" build --quiet -o "$out" "$src") ;;
        tarnwickiso-R) result=$(run_once "$out" "$program" build --quiet -R -o "$out" "$src") ;;
        genisoimage) result=$(run_once "$out.g" genisoimage -quiet "${level[@]}" -D -J -joliet-long -o "$out.g" "$src") ;;
        genisoimage-R) result=$(run_once "$out.g" genisoimage -quiet -D -R -J -joliet-long -o "$out.g" "$src") ;;
        xorriso) result=$(run_once "$out.x" xorriso -as mkisofs -quiet "${level[@]}" -J -joliet-long -o "$out.x" "$src") ;;
        tar) result=$(run_once "$out.tar" tar -cf "$out.tar" -C "$src" .) ;;
        cat) result=$(run_once "$out.cat" sh -c 'cat "$1"/* > "$2"' cat "$src" "$out.cat") ;;
      esac
      read -r w p c s <<<"$result"
      walls[$tool]+="$w "
      peaks[$tool]+="$p "
      cpus[$tool]+="$c "
      [ "$s" = ok ] || failed[$tool]=1
    done
  done
  rm -f "$out.g" "$out.x" "$out.tar" "$out.cat"
  for tool in "${tools[@]}"; do
    printf '%-8s %-12s %10s %10s %12.1f %s\n' "$corpus" "$tool" "$(med ${walls[$tool]})" "$(med ${cpus[$tool]})" \
      "$(awk -v k="$(med ${peaks[$tool]})" 'BEGIN { print k / 1024 }')" "${failed[$tool]:+(gave up: no output)}"
  done
  # The image last written (with -R where it ran) against estimate --exact.
  exact_options=()
  [[ " ${tools[*]} " == *" tarnwickiso-R "* ]] && exact_options=(-R)
  exact=$("$program" estimate --exact "${exact_options[@]}" -o "$out" "$src" 2>/dev/null |
    sed -n 's/^Exact size: \([0-9]*\) bytes.*/\1/p')
  size=$(stat -c %s "$out" 2>/dev/null || echo 0)
  echo "  $corpus: estimate --exact ${exact_options[*]} ${exact:-none} bytes, the image $size:" \
    "$([ "${exact:-}" = "$size" ] && echo equal || echo NOT equal)"
  wall_of[$corpus]=$(med ${walls[tarnwickiso]})
  n=$(find "$src" | wc -l)
  budget=$(awk -v n="$n" 'BEGIN { printf "%.1f", (2 * n + 16384) / 1024 }')
  echo "  $corpus: tarnwickiso/xorriso $(rep_ratio "${walls[tarnwickiso]}" "${walls[xorriso]}") (no limit)"
  echo "  $corpus: peak memory $(awk -v k="$(med ${peaks[tarnwickiso]})" 'BEGIN { printf "%.1f", k / 1024 }') MiB for $n entries (budget $budget MiB)"
  case $corpus in
    small|huge)
      report "$corpus" tarnwickiso/genisoimage "$(rep_ratio "${walls[tarnwickiso]}" "${walls[genisoimage]}")" most 0.6 ;;
    *)
      echo "  $corpus: tarnwickiso/genisoimage $(rep_ratio "${walls[tarnwickiso]}" "${walls[genisoimage]}") (no limit)" ;;
  esac
  case $corpus in
    five)
      report five tarnwickiso/cat "$(rep_ratio "${walls[tarnwickiso]}" "${walls[cat]}")" most 1.1 ;;
    small)
      report small "tarnwickiso/tar -cf" "$(rep_ratio "${walls[tarnwickiso]}" "${walls[tar]}")" most 1.2
      report small "tarnwickiso -R/tar -cf" "$(rep_ratio "${walls[tarnwickiso-R]}" "${walls[tar]}")" most 1.2
      report small "tarnwickiso -R/tarnwickiso" "$(rep_ratio "${walls[tarnwickiso-R]}" "${walls[tarnwickiso]}")" most 1.15
      strace_counts "$src" "$n" "$out" small ;;
    huge)
      report huge "peak memory tarnwickiso/genisoimage" "$(rep_ratio "${peaks[tarnwickiso]}" "${peaks[genisoimage]}")" most 1.0
      report huge "tarnwickiso -R/genisoimage -R -J" "$(rep_ratio "${walls[tarnwickiso-R]}" "${walls[genisoimage-R]}")" most 0.6
      report huge "peak memory tarnwickiso -R/genisoimage -R -J" \
        "$(rep_ratio "${peaks[tarnwickiso-R]}" "${peaks[genisoimage-R]}")" most 1.0 ;;
    large)
      report large tarnwickiso/cat "$(rep_ratio "${walls[tarnwickiso]}" "${walls[cat]}")" most 1.1
      plain_cpu=() raw_cpu=() floor_cpu=() to_raw=() to_plain=()
      for _ in $(seq 1 "$reps"); do
        plain_cpu+=("$(cpu_once "$out" "$program" build --quiet -o "$out" "$src")")
        raw_cpu+=("$(cpu_once "$out.raw" "$program" build --quiet --raw -o "$out.raw" "$src")")
        read -r w _ _ _ <<<"$(run_once "$out.iso" "$program" convert "$out")"
        to_raw+=("$w")
        read -r w _ _ _ <<<"$(run_once "$out.raw.iso" "$program" convert "$out.raw")"
        to_plain+=("$w")
      done
      # The floor runs apart, after the conversions: its output is one more
      # image's worth of cache to fill and free. Its median is set against the
      # plain build's median.
      for _ in $(seq 1 "$reps"); do
        [ -x "$floor" ] && floor_cpu+=("$(cpu_once "$out.floor" "$floor" "$out.floor" "$src"/*)")
      done
      bytes=$(stat -c %s "$out")
      echo "  large: CPU seconds plain $(med "${plain_cpu[@]}"), raw $(med "${raw_cpu[@]}")"
      report large "raw/plain CPU time" "$(rep_ratio "${raw_cpu[*]}" "${plain_cpu[*]}")" most 1.1
      if [ ${#floor_cpu[@]} -gt 0 ]; then
        echo "  large: floor of raw/plain: least work of a raw build (map, place, write; no encoding)/plain build" \
          "$(ratio "$(med "${floor_cpu[@]}")" "$(med "${plain_cpu[@]}")") (CPU seconds $(med "${floor_cpu[@]}"))"
      else
        echo "  large: no floor of raw/plain: build it with cmake --build build --target raw_floor_bench"
      fi
      report large "conversion plain to raw, GB/s" "$(awk -v b="$bytes" -v t="$(med "${to_raw[@]}")" 'BEGIN { if (t > 0) printf "%.2f", b / t / 1e9; else print "n/a" }')" least 2
      report large "conversion raw to plain, GB/s" "$(awk -v b="$bytes" -v t="$(med "${to_plain[@]}")" 'BEGIN { if (t > 0) printf "%.2f", b / t / 1e9; else print "n/a" }')" least 2
      rm -f "$out.raw" "$out.iso" "$out.raw.iso" "$out.floor" ;;
  esac
  rm -f "$out"
  unset walls cpus peaks failed
done
if [ -n "${wall_of[small]:-}" ] && [ -n "${wall_of[huge]:-}" ]; then
  report huge "huge/small wall time" "$(ratio "${wall_of[huge]}" "${wall_of[small]}")" most 11
fi
