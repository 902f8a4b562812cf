#!/usr/bin/env bash
# readdump of a gzip dump of realistic entries (make-test-dump's mix of types), in each
# format, beside zcat of the same file into /dev/null measured in the same run: wall time, CPU
# time (user + system), peak memory, and the ratios to zcat. The same formats run again on a
# dump a tenth the size, to show that peak memory does not grow with the number of entries.
# Each figure is the best of REPEATS runs.
#
#   bench/readdump.sh [BUILD_DIR] [ENTRIES] [REPEATS]    (default: build/release 1000000 3)
#
# The fixed header path is served from a private mount namespace (tests/dump/dump_case_lib.sh),
# so a real dump header on the host stays untouched. Figures go to docs/PERFORMANCE.md,
# section "Dumps".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
entries=${2:-1000000}
repeats=${3:-3}
export PATH="$build/bin:$PATH"
# shellcheck source=tests/dump/dump_case_lib.sh
source "$here/../tests/dump/dump_case_lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
small=$((entries / 10))
make_test_dump "$work/h" "$work/d.gz" --entries "$entries" --seed 3
make_test_dump "$work/h.small" "$work/d.small.gz" --entries "$small" --seed 3

# best RUN...: the best wall time of the runs, with that run's CPU time and peak memory:
# "wall cpu kilobytes".
best() {
  local run line best=""
  for ((run = 0; run < repeats; run++)); do
    "$@" >/dev/null
    line=$(awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 }' "$work/time")
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x); split(b, y);
        exit !(x[1] < y[1]) }'; then
      best=$line
    fi
  done
  echo "$best"
}
timed() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@"
}
zcat_run() {
  timed zcat "$work/d.gz" >/dev/null
}
readdump_run() {
  local header=$1
  shift
  with_dump_header "$header" /usr/bin/time -f "%e %U %S %M" -o "$work/time" tarne-tool readdump "$@"
}

echo "dump: $entries entries, $(zcat "$work/d.gz" | wc -c) bytes," \
  "$(stat -c %s "$work/d.gz") bytes compressed"
printf '%-14s %9s %8s %8s %9s %10s %9s\n' what entries "wall s" "cpu s" "peak KB" wall/zcat cpu/zcat
read -r zwall zcpu zmem < <(best zcat_run)
printf '%-14s %9d %8.2f %8.2f %9d %10s %9s\n' zcat "$entries" "$zwall" "$zcpu" "$zmem" 1.00 1.00
for format in simple json python; do
  read -r wall cpu mem < <(best readdump_run "$work/h" -d "$work/d.gz" -f "$format")
  awk -v f="readdump $format" -v n="$entries" -v w="$wall" -v c="$cpu" -v m="$mem" \
    -v zw="$zwall" -v zc="$zcpu" 'BEGIN {
      printf "%-14s %9d %8.2f %8.2f %9d %10.2f %9.2f\n", f, n, w, c, m, w / zw, c / zc }'
done
for format in simple json python; do
  read -r wall cpu mem < <(best readdump_run "$work/h.small" -d "$work/d.small.gz" -f "$format")
  printf '%-14s %9d %8.2f %8.2f %9d\n' "readdump $format" "$small" "$wall" "$cpu" "$mem"
done
