#!/usr/bin/env bash
# Starts or stops a local etcd cluster on loopback ports, for the tests and for trying the
# directory on etcd by hand.
#
#   scripts/etcd-cluster.sh start DIR [N]   N members (default 1), data and logs under DIR;
#                                           writes DIR/endpoints (HOST:PORT,...) and prints it
#   scripts/etcd-cluster.sh stop DIR        stops the members started in DIR and waits for them
#
# Start waits at most 20 s for every member to answer `etcdctl endpoint health`; on failure
# it stops what it started and exits 1, leaving the members' logs in DIR.
set -euo pipefail

usage() {
  echo "usage: $0 start DIR [N] | stop DIR" >&2
  exit 2
}

# A loopback TCP port that nobody listens on now. Two are needed per member.
free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# True while one of the processes runs (a zombie left to a parent that does not reap it has
# ended).
any_running() {
  local pid state
  for pid; do
    state=$(ps -o stat= -p "$pid" 2>/dev/null) || continue
    [[ $state == Z* ]] || return 0
  done
  return 1
}

stop_members() {
  local dir=$1 pidfile
  local -a pids=()
  for pidfile in "$dir"/member*.pid; do
    [ -e "$pidfile" ] && pids+=("$(<"$pidfile")")
  done
  ((${#pids[@]})) || return 0
  kill "${pids[@]}" 2>/dev/null || true
  for _ in $(seq 100); do
    any_running "${pids[@]}" || break
    sleep 0.05
  done
  if any_running "${pids[@]}"; then
    kill -9 "${pids[@]}" 2>/dev/null || true
    for _ in $(seq 100); do
      any_running "${pids[@]}" || break
      sleep 0.05
    done
  fi
  rm -f "$dir"/member*.pid
}

start_members() {
  local dir=$1 count=$2 i cluster="" endpoints=""
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ ! -e "$dir/endpoints" ] || { echo "$dir already holds a cluster" >&2; exit 1; }
  local -a client peer
  for ((i = 0; i < count; i++)); do
    client[i]=$(free_port)
    peer[i]=$(free_port)
    cluster+="${cluster:+,}member$i=http://127.0.0.1:${peer[i]}"
    endpoints+="${endpoints:+,}127.0.0.1:${client[i]}"
  done
  for ((i = 0; i < count; i++)); do
    etcd --name "member$i" --data-dir "$dir/member$i.data" \
      --listen-client-urls "http://127.0.0.1:${client[i]}" \
      --advertise-client-urls "http://127.0.0.1:${client[i]}" \
      --listen-peer-urls "http://127.0.0.1:${peer[i]}" \
      --initial-advertise-peer-urls "http://127.0.0.1:${peer[i]}" \
      --initial-cluster "$cluster" --initial-cluster-state new \
      --initial-cluster-token "tarne-$$" >"$dir/member$i.log" 2>&1 &
    echo $! >"$dir/member$i.pid"
  done
  local deadline=$((SECONDS + 20))
  until ETCDCTL_API=3 etcdctl --endpoints "$endpoints" --command-timeout 1s \
    endpoint health >/dev/null 2>&1; do
    if ((SECONDS >= deadline)); then
      echo "etcd members in $dir did not answer within 20 s; see $dir/member*.log" >&2
      stop_members "$dir"
      exit 1
    fi
    sleep 0.1
  done
  echo "$endpoints" >"$dir/endpoints"
  echo "$endpoints"
}

[ $# -ge 2 ] || usage
case $1 in
  start)
    count=${3:-1}
    [[ $count =~ ^[1-9]$ ]] || { echo "N must be 1 to 9" >&2; exit 2; }
    start_members "$2" "$count"
    ;;
  stop)
    [ -d "$2" ] || { echo "no such folder: $2" >&2; exit 1; }
    stop_members "$2"
    rm -f "$2/endpoints"
    ;;
  *) usage ;;
esac
