#!/usr/bin/env bash
# Adding entries with one `tarne-tool add` run each, against the embedded directory: total
# wall time, time per run and peak memory, beside the same number of bare `tarne-tool whoami`
# starts (library opened and closed, nothing written).
#
#   bench/update_add.sh [BUILD_DIR] [RUNS]          (default: build/release 10000)
#
# Figures go to docs/PERFORMANCE.md, section "Updates".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
runs=${2:-10000}
tool=$build/bin/tarne-tool admin=$build/bin/tarne-admin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARNE_DIRECTORY=$work/directory.db
"$admin" init >/dev/null
printf 'benchmrk' >"$work/payload"

# Prints the start and end times of the command, in seconds.
measure() {
  local start
  start=$(date +%s.%N)
  "$@"
  echo "$start $(date +%s.%N)"
}

adds() {
  for ((k = 0; k < runs; k++)); do
    "$tool" add -u "$(printf '00000000-0000-0000-0003-%012x' "$k")" -t 18 <"$work/payload"
  done
}
whoamis() {
  for ((k = 0; k < runs; k++)); do "$tool" whoami >/dev/null; done
}

row() {
  awk -v what="$1" -v n="$runs" -v a="$2" -v b="$3" -v m="$4" 'BEGIN {
    printf "%-8s  %6d  %8.2f  %10.2f  %8d\n", what, n, b - a, (b - a) * 1000 / n, m
  }'
}

printf "%-8s  %6s  %8s  %10s  %8s\n" command runs "wall s" "ms/run" "peak KB"
read -r a b < <(measure whoamis)
whoami_peak=$(/usr/bin/time -f '%M' "$tool" whoami 2>&1 >/dev/null | tail -n 1)
row whoami "$a" "$b" "$whoami_peak"
read -r a b < <(measure adds)
add_peak=$(/usr/bin/time -f '%M' "$tool" add -u 00000000-0000-0000-0004-000000000000 -t 18 \
  <"$work/payload" 2>&1 | tail -n 1)
row add "$a" "$b" "$add_peak"
left=$("$admin" info | sed -n 's/^entries: //p')
[ "$left" = $((runs + 1)) ] || { echo "expected $((runs + 1)) entries, found $left" >&2; exit 1; }
