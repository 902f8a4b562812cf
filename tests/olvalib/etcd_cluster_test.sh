#!/usr/bin/env bash
# The local cluster script: members that form one cluster, a folder that holds one cluster at
# a time, and a stop that leaves no member running.
# Usage: etcd_cluster_test.sh SCRIPT
set -euo pipefail
script=$1
dir=$(mktemp -d)
trap '"$script" stop "$dir" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

endpoints=$("$script" start "$dir" 3)
[ "$endpoints" = "$(<"$dir/endpoints")" ] || fail "printed endpoints differ from the file"
IFS=, read -ra members <<<"$endpoints"
[ ${#members[@]} -eq 3 ] || fail "expected 3 endpoints: $endpoints"
for member in "${members[@]}"; do
  [[ $member =~ ^127\.0\.0\.1:[0-9]+$ ]] || fail "not a loopback endpoint: $member"
done
# A value written through one member is read through another: one cluster, not three.
ETCDCTL_API=3 etcdctl --endpoints "${members[0]}" put probe written-on-0 >/dev/null
[ "$(ETCDCTL_API=3 etcdctl --endpoints "${members[2]}" get --print-value-only probe)" = \
  written-on-0 ] || fail "members do not share their data"

"$script" start "$dir" 1 >/dev/null 2>&1 && fail "a second cluster started in the same folder"

pids=$(cat "$dir"/member*.pid)
"$script" stop "$dir"
for pid in $pids; do
  state=$(ps -o stat= -p "$pid" 2>/dev/null) || continue
  [[ $state == Z* ]] || fail "member $pid still runs after stop"
done
[ ! -e "$dir/endpoints" ] || fail "endpoints left behind"
echo PASS
