#!/usr/bin/env bash
# The local cluster scripts: members that form one cluster, a folder that holds one cluster at
# a time, a stop that leaves no member running, a restart that keeps the data, the leader
# named, and members with client-certificate authentication that serve only hosts whose
# certificate their authority signed.
# Usage: etcd_cluster_test.sh CLUSTER_SCRIPT CERTS_SCRIPT
set -euo pipefail
script=$1 certs_script=$2
dir=$(mktemp -d)
trap '"$script" stop "$dir/plain" >/dev/null 2>&1 || true
      "$script" stop "$dir/tls" >/dev/null 2>&1 || true
      rm -rf "$dir"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
export ETCDCTL_API=3

endpoints=$("$script" start "$dir/plain" 3)
[ "$endpoints" = "$(<"$dir/plain/endpoints")" ] || fail "printed endpoints differ from the file"
IFS=, read -ra members <<<"$endpoints"
[ ${#members[@]} -eq 3 ] || fail "expected 3 endpoints: $endpoints"
for member in "${members[@]}"; do
  [[ $member =~ ^127\.0\.0\.1:[0-9]+$ ]] || fail "not a loopback endpoint: $member"
done
# A value written through one member is read through another: one cluster, not three.
etcdctl --endpoints "${members[0]}" put probe written-on-0 >/dev/null
[ "$(etcdctl --endpoints "${members[2]}" get --print-value-only probe)" = written-on-0 ] ||
  fail "members do not share their data"

"$script" start "$dir/plain" 1 >/dev/null 2>&1 && fail "a second cluster started in the same folder"

# The leader is the member whose status says so, and a killed leader's restart rejoins.
leader=$("$script" leader "$dir/plain")
[[ $leader =~ ^[0-2]$ ]] || fail "leader: $leader"
status=$(etcdctl --endpoints "${members[leader]}" endpoint status -w json)
python3 -c 'import json, sys
s = json.loads(sys.argv[1])[0]["Status"]
sys.exit(s["header"]["member_id"] != s["leader"])' "$status" || fail "member $leader does not lead"
kill -9 "$(<"$dir/plain/member$leader.pid")"
survivor=${members[(leader + 1) % 3]}
for _ in $(seq 50); do  # until the other two have elected a leader
  etcdctl --endpoints "$survivor" --command-timeout 1s put probe written-without-the-leader \
    >/dev/null 2>&1 && break
  sleep 0.2
done
[ "$(etcdctl --endpoints "$survivor" get --print-value-only probe)" = \
  written-without-the-leader ] || fail "two members wrote nothing without the leader"
"$script" restart "$dir/plain" >/dev/null
[ "$(etcdctl --endpoints "${members[leader]}" --consistency=s get --print-value-only probe)" = \
  written-without-the-leader ] || fail "the restarted member did not catch up"
"$script" restart "$dir/plain" "$leader" >/dev/null 2>&1 && fail "restarted a running member"

pids=$(cat "$dir"/plain/member*.pid)
"$script" stop "$dir/plain"
for pid in $pids; do
  state=$(ps -o stat= -p "$pid" 2>/dev/null) || continue
  [[ $state == Z* ]] || fail "member $pid still runs after stop"
done
[ ! -e "$dir/plain/endpoints" ] || fail "endpoints left behind"
# The whole cluster back: the same endpoints, the data kept.
[ "$("$script" restart "$dir/plain")" = "$endpoints" ] || fail "restart moved the endpoints"
[ "$(etcdctl --endpoints "$endpoints" get --print-value-only probe)" = \
  written-without-the-leader ] || fail "data lost over a restart"
"$script" stop "$dir/plain"

# TLS: the certificates, then members that require a client certificate of their authority.
"$certs_script" "$dir/certs"
for key in "$dir"/certs/*.key; do
  [ "$(stat -c %a "$key")" = 600 ] || fail "$key is not owner-only"
done
openssl verify -CAfile "$dir/certs/ca.crt" "$dir/certs/server.crt" "$dir/certs/client.crt" \
  >/dev/null || fail "ca did not sign the member and host certificates"
openssl verify -CAfile "$dir/certs/ca.crt" "$dir/certs/foreign.crt" >/dev/null 2>&1 &&
  fail "the foreign certificate passes for one of ca's"
tls_endpoints=$("$script" start "$dir/tls" 2 --tls "$dir/certs")
[[ $tls_endpoints =~ ^127\.0\.0\.1:[0-9]+,127\.0\.0\.1:[0-9]+$ ]] || fail "TLS endpoints: $tls_endpoints"
as() {  # CERT: etcdctl with that client certificate (none: no certificate)
  local -a files=(--cacert "$dir/certs/ca.crt")
  [ -z "$1" ] || files+=(--cert "$dir/certs/$1.crt" --key "$dir/certs/$1.key")
  etcdctl --endpoints "$tls_endpoints" --command-timeout 2s --dial-timeout 2s "${files[@]}" \
    "${@:2}"
}
as client put probe over-tls >/dev/null || fail "the good client certificate was refused"
[ "$(as client get --print-value-only probe)" = over-tls ] || fail "nothing read over TLS"
as foreign get probe >/dev/null 2>&1 && fail "the foreign authority's certificate was served"
as "" get probe >/dev/null 2>&1 && fail "a client without a certificate was served"
etcdctl --endpoints "$tls_endpoints" --command-timeout 2s --dial-timeout 2s get probe \
  >/dev/null 2>&1 && fail "plain http to a TLS member was served"
[ "$("$script" leader "$dir/tls")" != "" ] || fail "no leader named over TLS"
echo PASS
