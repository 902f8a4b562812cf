#!/usr/bin/env bash
# readdump of a gzip dump of realistic entries (make-bench-dump's mix of types), in each
# format, beside zcat of the same file into /dev/null measured in the same run: wall time, CPU
# time (user + system), peak memory, and the ratios to zcat. The same runs again on a dump a
# tenth the size, to show that peak memory does not grow with the number of entries. The runs
# take turns, and each figure is the best of REPEATS, so that load from elsewhere hits every
# row alike. The processor model, its vector extensions and the load average come first: a
# figure is only comparable with figures of the same processor. BEFORE="[NAME=]TOOL..." runs
# other builds beside this one (rows NAME, "before").
#
#   [BEFORE=...] bench/readdump.sh [BUILD_DIR] [ENTRIES] [REPEATS]   (build/release 1000000 3)
#
# The fixed header path is served from a private mount namespace (tests/dump/dump_case_lib.sh),
# so a real dump header on the host stays untouched. Figures go to docs/PERFORMANCE.md,
# section "Dumps".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
entries=${2:-1000000}
repeats=${3:-3}
# The dumps' generator is built by the bench preset (cmake --preset bench).
generator=${MAKE_BENCH_DUMP:-$here/../build/bench/bin/make-bench-dump}
[ -x "$generator" ] || { echo "readdump.sh: no $generator: build the bench preset" >&2; exit 2; }
export PATH="$build/bin:$PATH"
# shellcheck source=tests/dump/dump_case_lib.sh
source "$here/../tests/dump/dump_case_lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tools=()
for given in ${BEFORE:-}; do  # NAME=PATH, or PATH alone for "before"
  [[ $given == *=* ]] || given="before=$given"
  tools+=("${given%%=*}=$(readlink -f "${given#*=}")")
done
tools+=("after=$build/bin/tarne-tool")

declare -A best
# measure KEY COMMAND...: keeps the best wall time of KEY's runs with that run's CPU time and
# peak memory, as "wall cpu kilobytes".
measure() {
  local key=$1 line
  shift
  "$@" >/dev/null
  line=$(awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 }' "$work/time")
  if [ -z "${best[$key]:-}" ] || awk -v a="$line" -v b="${best[$key]}" \
      'BEGIN { split(a, x); split(b, y); exit !(x[1] < y[1]) }'; then
    best[$key]=$line
  fi
}
timed() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@"
}

# Figures of different processors are not comparable: the inflate picks its code by the
# vector extensions it finds, and the same instructions run at different speeds.
cpu_field() { lscpu | sed -n "s/^$1:[[:space:]]*//p" | head -n 1; }
# A virtual machine may name only the maker's line; family and model tell generations apart.
cpu_model="$(cpu_field 'Model name') (family $(cpu_field 'CPU family'), model $(cpu_field 'Model'))"
cpu_vectors=$(lscpu | sed -n 's/^Flags:[[:space:]]*//p' | tr ' ' '\n' |
  grep -E '^(sse4_2|avx|avx2|avx512[a-z_0-9]*|vpclmulqdq|bmi2)$' | sort -u | tr '\n' ' ')
echo "# processor: $cpu_model; $(nproc) CPUs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# vector extensions: ${cpu_vectors% }"
printf '%-16s %9s %8s %8s %9s %10s %9s\n' what entries "wall s" "cpu s" "peak KB" wall/zcat cpu/zcat
for n in "$entries" $((entries / 10)); do
  "$generator" "$work/h" "$work/d.gz" --entries "$n" --seed 3
  echo "# $n entries: $(zcat "$work/d.gz" | wc -c) bytes, $(stat -c %s "$work/d.gz") compressed"
  for ((run = 0; run < repeats; run++)); do
    measure zcat timed zcat "$work/d.gz"
    for tool in "${tools[@]}"; do
      for format in simple json python; do
        measure "${tool%%=*} $format" with_dump_header "$work/h" \
          /usr/bin/time -f "%e %U %S %M" -o "$work/time" "${tool#*=}" readdump -d "$work/d.gz" -f "$format"
      done
    done
  done
  read -r zwall zcpu _ <<<"${best[zcat]}"
  for key in zcat "${tools[@]/=*/ simple}" "${tools[@]/=*/ json}" "${tools[@]/=*/ python}"; do
    read -r wall cpu mem <<<"${best[$key]}"
    awk -v f="$key" -v n="$n" -v w="$wall" -v c="$cpu" -v m="$mem" -v zw="$zwall" -v zc="$zcpu" \
      'BEGIN { printf "%-16s %9d %8.2f %8.2f %9d %10.2f %9.2f\n", f, n, w, c, m, w / zw, c / zc }'
  done
  best=()
done
echo "# load average at the end: $(cut -d" " -f1-3 /proc/loadavg)"
