# shellcheck shell=bash disable=SC2154
# Sourced by the benchmarks that start an etcd cluster of their own, which set $here to bench/
# first (hence SC2154 off): a scratch folder $work, removed on exit with the cluster in it and
# the load generator whose process id is in $stress, if any.
work=$(mktemp -d)
stress=
cleanup() {
  [ -z "$stress" ] || kill "$stress" 2>/dev/null || true
  [ ! -d "$work/etcd" ] || "$here/../scripts/etcd-cluster.sh" stop "$work/etcd" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts N members in $work/etcd; prints their endpoints.
start_cluster() {
  "$here/../scripts/etcd-cluster.sh" start "$work/etcd" "$1"
}
