#!/usr/bin/env bash
# The history of a directory on etcd under churn: CYCLES add+delete cycles on a three-member
# cluster started by scripts/etcd-cluster.sh (so with its compaction policy), in rounds of
# ROUND adds through the library (backend_adds, 900 in flight) each followed by
# `tarne-tool delete -t 18` of them. Every add and every deletion must succeed. Prints each
# member's database size (etcdctl endpoint status -w json) every tenth round and at the end,
# with the time and the load.
#
#   bench/history.sh [BUILD_DIR] [CYCLES] [ROUND]     (default: build/bench 1000000 20000)
#
# BUILD_DIR needs bin/tarne-tool, bin/tarne-admin and bin/backend_adds (preset "bench"). The
# figure goes to docs/PERFORMANCE.md, section "History".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/bench}" && pwd)
cycles=${2:-1000000}
round=${3:-20000}
bin=$build/bin
for program in tarne-tool tarne-admin backend_adds; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is missing (build the bench preset)" >&2; exit 1; }
done
export ETCDCTL_API=3

. "$here/cluster_lib.sh"

endpoints=$(start_cluster 3)
export TARNE_DIRECTORY="etcd://$endpoints/history$$" TARNE_NODE=$work/node
"$bin/tarne-admin" init --self 00000000-0000-4000-8000-0000000000a1 \
  --cluster 00000000-0000-4000-8000-00000000c1c1 >/dev/null

# Each member's database size in MB, the largest first: "12.3 11.9 11.8".
sizes() {
  etcdctl --endpoints "$endpoints" --command-timeout 10s endpoint status -w json |
    jq -r '[.[].Status.dbSize / 1048576 | . * 10 | round / 10] | sort | reverse | map(tostring) | join(" ")'
}

echo "# $(date -u '+%Y-%m-%d %H:%M') UTC, $cycles cycles in rounds of $round; load:$(uptime | sed 's/.*load average://')"
echo "# database MB of each member, largest first"
start=$SECONDS
reopened=0
rounds=$(((cycles + round - 1) / round))
for ((r = 0; r < rounds; r++)); do
  count=$((cycles - r * round < round ? cycles - r * round : round))
  # Every add succeeds, or backend_adds exits 1 and the run stops here. A program that could
  # not open the directory (exit 2, "No connection": a member slow to answer on a loaded
  # machine) changed nothing; it is run again, and counted.
  until "$bin/backend_adds" "$count" 18 $((r % 256)) >/dev/null; do
    (($? == 2 && ++reopened <= 10)) || { echo "round $r: adds failed; database MB: $(sizes)" >&2; exit 1; }
  done
  until "$bin/tarne-tool" delete -t 18 >/dev/null 2>"$work/delete.err"; do
    grep -q 'Failed to initialize TARNE: No connection' "$work/delete.err" && ((++reopened <= 10)) ||
      { echo "round $r: delete failed: $(<"$work/delete.err"); database MB: $(sizes)" >&2; exit 1; }
  done
  if (((r + 1) % 10 == 0)); then
    echo "after $(((r + 1) * round < cycles ? (r + 1) * round : cycles)) cycles, $((SECONDS - start)) s: $(sizes)"
  fi
done
echo "cycles $cycles seconds $((SECONDS - start)) database_mb $(sizes) goal<256 reopened $reopened"
echo "# done; load:$(uptime | sed 's/.*load average://')"
