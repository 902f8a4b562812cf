#!/usr/bin/env bash
# How often a command through a location that names one member fails on a healthy cluster
# under CPU load: a three-member etcd cluster on loopback (started here, stopped on exit),
# a fresh directory with one entry, and COMMANDS runs of `tarne-tool find -a` with one
# member's endpoint only, LOAD stress-ng CPU workers beside them (default: twice the cores).
# Prints the failures, their messages counted, and the slowest run.
#
#   bench/single_endpoint.sh [BUILD_DIR] [COMMANDS] [LOAD]   (default: build/release 2000 2*cores)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
commands=${2:-2000}
load=${3:-$((2 * $(nproc)))}
bin=$build/bin
for program in tarne-tool tarne-admin; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is missing (build first)" >&2; exit 1; }
done
command -v stress-ng >/dev/null || { echo "stress-ng is missing" >&2; exit 1; }

. "$here/cluster_lib.sh"

endpoints=$(start_cluster 3)
prefix=single$$
self=00000000-0000-4000-8000-0000000000a1
cluster=00000000-0000-4000-8000-00000000c1c1
export TARNE_NODE=$work/node
"$bin/tarne-admin" init --directory "etcd://$endpoints/$prefix" --self "$self" \
  --cluster "$cluster" >/dev/null
printf 'one' | TARNE_DIRECTORY="etcd://$endpoints/$prefix" \
  "$bin/tarne-admin" put --uuid 00000000-0000-4000-8000-000000000001 --type 9 >/dev/null

stress-ng --cpu "$load" --timeout 0 >/dev/null 2>&1 &
stress=$!
sleep 1
echo "# $(date -u '+%Y-%m-%d %H:%M') UTC, $commands commands, stress-ng --cpu $load; $(lscpu | sed -n 's/^Model name: *//p')"
IFS=, read -r -a members <<<"$endpoints"
failures=0
slowest=0
: >"$work/errors"
for ((i = 0; i < commands; i++)); do
  export TARNE_DIRECTORY="etcd://${members[i % ${#members[@]}]}/$prefix"
  start=$(date +%s%N)
  if ! "$bin/tarne-tool" find -a >/dev/null 2>"$work/err"; then
    failures=$((failures + 1))
    sed 's/^[0-9T:-]*: //' "$work/err" >>"$work/errors"
  fi
  took=$((($(date +%s%N) - start) / 1000000))
  ((took > slowest)) && slowest=$took
done
echo "failures: $failures of $commands; slowest run: $slowest ms"
sort "$work/errors" | uniq -c
