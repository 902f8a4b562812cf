#!/usr/bin/env bash
# Starts or stops a local etcd cluster on loopback ports, for the tests and for trying the
# directory on etcd by hand.
#
#   scripts/etcd-cluster.sh start DIR [N] [--tls CERTDIR] [--quota BYTES]
#         N members (default 1), data and logs under DIR; writes DIR/endpoints (HOST:PORT,...)
#         and prints it. With --tls, members serve clients over https only and accept only
#         clients whose certificate CERTDIR/ca.crt signed (CERTDIR as made by
#         scripts/etcd-certs.sh: ca.crt, server.crt, server.key, client.crt, client.key);
#         peers speak plain http on loopback. With --quota, each member's database may grow
#         to BYTES (etcd's default: 2 GiB) before the cluster refuses writes for want of space.
#   scripts/etcd-cluster.sh stop DIR        stops the members started in DIR and waits for them
#   scripts/etcd-cluster.sh restart DIR [I...]
#         starts members I (0 to N-1; default every member that does not run) again on their
#         ports and data, waits for them to answer, and writes DIR/endpoints again
#   scripts/etcd-cluster.sh leader DIR      prints the number I of the member that leads
#
# Members keep COMPACTION_RETENTION of history (see below): without a compaction policy etcd
# keeps every revision, and a directory that adds and deletes fills its quota within weeks.
#
# Start and restart wait at most 20 s for the members to answer `etcdctl endpoint health`; on
# failure they stop what they started and exit 1, leaving the members' logs in DIR.
set -euo pipefail

usage() {
  echo "usage: $0 start DIR [N] [--tls CERTDIR] [--quota BYTES] | stop DIR | restart DIR [I...] | leader DIR" >&2
  exit 2
}

export ETCDCTL_API=3

# etcd compacts away the revisions older than this, every this long. The database holds about
# two periods of writes, so the period bounds its size; a wait resumes its watch from the last
# revision it saw (within seconds), and a dump or a check that reads at one revision begins
# again at a later one when its revision is compacted away, so the history need not outlast
# them (docs/DIRECTORY.md, "History and space").
readonly COMPACTION_RETENTION=30s
# Members also run with --pre-vote: a member that was cut off and comes back cannot then
# depose a working leader with its higher term, so the cluster is not without a leader (and
# new commands not refused) for an election after every such return.

# COUNT loopback TCP ports, all different, that nobody listens on now. Two are needed per
# member. One interpreter for all of them: an interpreter's start can take seconds on a loaded
# host (a version manager's shim among them).
free_ports() {
  python3 -c 'import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))' "$1"
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

member_running() {
  local pidfile=$1/member$2.pid
  [ -e "$pidfile" ] && any_running "$(<"$pidfile")"
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

# etcdctl's options for the cluster in DIR: its TLS files when it has them.
etcdctl_in() {
  local dir=$1
  shift
  local -a tls=()
  if [ -e "$dir/tls" ]; then
    local certs
    certs=$(<"$dir/tls")
    tls=(--cacert "$certs/ca.crt" --cert "$certs/client.crt" --key "$certs/client.key")
  fi
  etcdctl "${tls[@]}" "$@"
}

# Runs member I from its command file, in the background; records its process id.
launch() {
  local dir=$1 i=$2
  bash "$dir/member$i.cmd" >>"$dir/member$i.log" 2>&1 &
  echo $! >"$dir/member$i.pid"
}

# Waits until every endpoint given answers; on failure stops the cluster and exits 1.
await_health() {
  local dir=$1 endpoints=$2 deadline=$((SECONDS + 20))
  until etcdctl_in "$dir" --endpoints "$endpoints" --command-timeout 1s \
    endpoint health >/dev/null 2>&1; do
    if ((SECONDS >= deadline)); then
      echo "etcd members in $dir did not answer within 20 s; see $dir/member*.log" >&2
      stop_members "$dir"
      exit 1
    fi
    sleep 0.1
  done
}

write_endpoints() {
  local dir=$1 i endpoints=""
  for ((i = 0; i < $(<"$dir/members"); i++)); do
    endpoints+="${endpoints:+,}$(<"$dir/member$i.endpoint")"
  done
  echo "$endpoints" >"$dir/endpoints"
  echo "$endpoints"
}

start_members() {
  local dir=$1 count=$2 certs=$3 quota=$4 i cluster="" endpoints="" scheme=http
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ ! -e "$dir/members" ] || { echo "$dir already holds a cluster" >&2; exit 1; }
  local -a client peer tls=() space=()
  [ -z "$quota" ] || space=(--quota-backend-bytes "$quota")
  if [ -n "$certs" ]; then
    certs=$(cd "$certs" && pwd)
    for file in ca.crt server.crt server.key client.crt client.key; do
      [ -r "$certs/$file" ] || { echo "no $certs/$file (see scripts/etcd-certs.sh)" >&2; exit 1; }
    done
    scheme=https
    tls=(--cert-file "$certs/server.crt" --key-file "$certs/server.key"
         --client-cert-auth --trusted-ca-file "$certs/ca.crt")
    echo "$certs" >"$dir/tls"
  fi
  local -a ports
  read -r -a ports <<<"$(free_ports $((2 * count)))"
  for ((i = 0; i < count; i++)); do
    client[i]=${ports[2 * i]}
    peer[i]=${ports[2 * i + 1]}
    cluster+="${cluster:+,}member$i=http://127.0.0.1:${peer[i]}"
    endpoints+="${endpoints:+,}127.0.0.1:${client[i]}"
  done
  for ((i = 0; i < count; i++)); do
    # The command file lets restart bring the member back on the same ports and data; once
    # the data folder exists, etcd ignores the --initial-* options.
    {
      printf 'exec'
      printf ' %q' etcd --name "member$i" --data-dir "$dir/member$i.data" \
        --listen-client-urls "$scheme://127.0.0.1:${client[i]}" \
        --advertise-client-urls "$scheme://127.0.0.1:${client[i]}" \
        --listen-peer-urls "http://127.0.0.1:${peer[i]}" \
        --initial-advertise-peer-urls "http://127.0.0.1:${peer[i]}" \
        --initial-cluster "$cluster" --initial-cluster-state new \
        --initial-cluster-token "tarne-$$" \
        --auto-compaction-mode periodic --auto-compaction-retention "$COMPACTION_RETENTION" \
        --pre-vote "${tls[@]}" "${space[@]}"
      printf '\n'
    } >"$dir/member$i.cmd"
    echo "127.0.0.1:${client[i]}" >"$dir/member$i.endpoint"
    : >"$dir/member$i.log"
    launch "$dir" "$i"
  done
  echo "$count" >"$dir/members"
  await_health "$dir" "$endpoints"
  write_endpoints "$dir"
}

restart_members() {
  local dir=$1 i endpoints=""
  shift
  [ -e "$dir/members" ] || { echo "no cluster was started in $dir" >&2; exit 1; }
  local count
  count=$(<"$dir/members")
  local -a chosen=("$@")
  if ((${#chosen[@]} == 0)); then
    for ((i = 0; i < count; i++)); do
      member_running "$dir" "$i" || chosen+=("$i")
    done
  fi
  for i in "${chosen[@]}"; do
    if ! [[ $i =~ ^[0-9]+$ ]] || ((i >= count)); then
      echo "no member $i in $dir" >&2
      exit 2
    fi
    member_running "$dir" "$i" && { echo "member $i in $dir runs already" >&2; exit 1; }
  done
  for i in "${chosen[@]}"; do
    launch "$dir" "$i"
    endpoints+="${endpoints:+,}$(<"$dir/member$i.endpoint")"
  done
  [ -z "$endpoints" ] || await_health "$dir" "$endpoints"
  write_endpoints "$dir"
}

# The member whose own id is the leader's, asking each member in turn (one that does not
# answer is passed over).
print_leader() {
  local dir=$1 i status
  for ((i = 0; i < $(<"$dir/members"); i++)); do
    status=$(etcdctl_in "$dir" --endpoints "$(<"$dir/member$i.endpoint")" --command-timeout 1s \
      endpoint status -w json 2>/dev/null) || continue
    if python3 -c '
import json, sys
status = json.loads(sys.argv[1])[0]["Status"]
sys.exit(status["header"]["member_id"] != status["leader"])' "$status"; then
      echo "$i"
      return 0
    fi
  done
  echo "no member of $dir leads" >&2
  return 1
}

[ $# -ge 2 ] || usage
command=$1 dir=$2
shift 2
case $command in
  start)
    count=1 certs="" quota=""
    while (($#)); do
      case $1 in
        --tls) [ $# -ge 2 ] || usage; certs=$2; shift 2 ;;
        --quota)
          [ $# -ge 2 ] || usage
          [[ $2 =~ ^[1-9][0-9]*$ ]] || { echo "--quota takes a number of bytes" >&2; exit 2; }
          quota=$2
          shift 2
          ;;
        *) count=$1; shift ;;
      esac
    done
    [[ $count =~ ^[1-9]$ ]] || { echo "N must be 1 to 9" >&2; exit 2; }
    start_members "$dir" "$count" "$certs" "$quota"
    ;;
  stop)
    [ $# -eq 0 ] || usage
    [ -d "$dir" ] || { echo "no such folder: $dir" >&2; exit 1; }
    stop_members "$dir"
    rm -f "$dir/endpoints"
    ;;
  restart)
    [ -d "$dir" ] || { echo "no such folder: $dir" >&2; exit 1; }
    restart_members "$(cd "$dir" && pwd)" "$@"
    ;;
  leader)
    [ $# -eq 0 ] || usage
    [ -e "$dir/endpoints" ] || { echo "no running cluster in $dir" >&2; exit 1; }
    print_leader "$dir"
    ;;
  *) usage ;;
esac
