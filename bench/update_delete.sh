#!/usr/bin/env bash
# Deleting many matching entries with one `tarne-tool delete` run, against the embedded
# directory: wall time, peak memory and entries per second, for 10,000 and 100,000 matches,
# and with one transaction per deletion (TARNE_DIRECTORY_BATCH=1) for comparison.
#
#   bench/update_delete.sh [BUILD_DIR] [SIZES...]      (default: build/release 10000 100000)
#
# Each run gets a fresh directory holding the matches (type 18) and 1,000 entries of another
# type (29) that must survive. Figures go to docs/PERFORMANCE.md, section "Updates".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
shift || true
sizes=("$@")
((${#sizes[@]})) || sizes=(10000 100000)
tool=$build/bin/tarne-tool admin=$build/bin/tarne-admin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARNE_DIRECTORY=$work/directory.db

# One measured run: prepares the directory, deletes, checks what is left, prints one row.
run() {
  local matches=$1 batch=$2
  rm -f "$TARNE_DIRECTORY"*
  "$admin" init >/dev/null
  python3 "$here/../scripts/fill-dump.py" "$work/fill" "$work/fill.hdr" "1:18:$matches" 2:29:1000
  "$admin" restore --input "$work/fill" --header "$work/fill.hdr" >/dev/null
  local -a env_batch=()
  [ "$batch" = default ] || env_batch=(TARNE_DIRECTORY_BATCH="$batch")
  env "${env_batch[@]}" /usr/bin/time -f '%e %M' -o "$work/time" "$tool" delete -t 18
  local left
  left=$("$admin" info | sed -n 's/^entries: //p')
  [ "$left" = 1000 ] || { echo "expected 1000 entries left, found $left" >&2; exit 1; }
  read -r seconds peak_kb <"$work/time"
  awk -v n="$matches" -v b="$batch" -v s="$seconds" -v m="$peak_kb" 'BEGIN {
    rate = s > 0 ? n / s : 0
    printf "%9d  %-8s  %8.2f  %12.0f  %10.1f  %8d\n", n, b, s, rate, s * 1e6 / n, m
  }'
}

printf "%9s  %-8s  %8s  %12s  %10s  %8s\n" matches batch "wall s" "entries/s" "us/entry" "peak KB"
for n in "${sizes[@]}"; do run "$n" default; done
run "${sizes[0]}" 1
