#!/usr/bin/env bash
# A fault-injection run of the directory on an etcd cluster: three members, each in a network
# namespace of its own, and two hosts (two node files) adding, deleting, listing and waiting
# with tarne-tool while a chaos loop kills and restarts, freezes (SIGSTOP/SIGCONT), cuts off
# (link down) and isolates (packets dropped) one member at a time (quorum kept) or two at once
# (quorum lost). At the end, with every member back, it checks what the hosts were told:
#
#   acknowledged adds missing       an add that exited 0 whose entry is not listed, and no
#                                   later delete of it exited 0
#   acknowledged deletions undone   a delete that exited 0 whose entry is listed again, and no
#                                   later add of it exited 0
#   waits ended before timeout      a wait that failed (exit not 0) before its -i seconds had
#                                   passed, or at all when -i 0 (wait for ever)
#   waits woken without entry       a wait that exited 0 before the add of its entry began
#   commands over their bound       a command still running at its bound (then killed), or a
#                                   wait -i 0 not woken within its bound of its entry's add
#
# A command that failed may still have been applied (a write is not sent twice, but the one
# sent may commit later, for example when a frozen member thaws): a discrepancy that such a
# command of the opposite kind on the same entry can explain (one that ended at most the
# longest fault and 5 s before the last acknowledged one began, or later) is counted apart
# ("explained by a failed command"), not as a fault.
#
#   scripts/fault-run.sh [--duration SECONDS] [--seed N] [--bin DIR] [--keep DIR]
#     --duration  how long the hosts work under faults (default 600)
#     --seed      seed of the random choices (default: the time), printed to repeat a run
#     --bin       folder of tarne-tool and tarne-admin (default build/release/bin)
#     --keep DIR  keep the run's logs (commands, faults, members' logs) in DIR
#   FAULT_RUN_ETCD_FLAGS  the members' options beyond their names and addresses (default: a
#                         compaction every minute keeping a minute of history, so that the
#                         waits and listings of the run meet compactions, and --pre-vote, as
#                         scripts/etcd-cluster.sh gives its members)
#
# Needs root (namespaces, veth pairs, a bridge, iptables in the members' namespaces), etcd,
# etcdctl, python3 and timeout. The members listen on 198.51.100.10 to .12 (a documentation
# range) behind a bridge in a namespace of the run's own, reached from this namespace through
# 198.51.100.1; nothing leaves the machine. Prints the counts as "NAME: N" lines and exits 1
# when any of them is not 0, 2 when the run could not be set up. Everything it made (namespaces,
# processes, folders) is removed on exit, also when interrupted.
set -uo pipefail

usage() {
  sed -n '/^#   scripts\/fault-run.sh/,/^#   FAULT_RUN/p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

repo=$(cd "$(dirname "$0")/.." && pwd)
duration=600 seed=$(date +%s) bin=$repo/build/release/bin keep=""
while (($#)); do
  case $1 in
    --duration) duration=${2:-}; shift 2 || usage ;;
    --seed) seed=${2:-}; shift 2 || usage ;;
    --bin) bin=${2:-}; shift 2 || usage ;;
    --keep) keep=${2:-}; shift 2 || usage ;;
    *) usage ;;
  esac
done
[[ $duration =~ ^[1-9][0-9]*$ && $seed =~ ^[0-9]+$ ]] || usage
((EUID == 0)) || { echo "fault-run: needs root (network namespaces)" >&2; exit 2; }
for tool in ip iptables etcd etcdctl python3 timeout; do
  command -v "$tool" >/dev/null || { echo "fault-run: no $tool" >&2; exit 2; }
done
tool=$bin/tarne-tool admin=$bin/tarne-admin
[[ -x $tool && -x $admin ]] || { echo "fault-run: no tarne-tool or tarne-admin in $bin" >&2; exit 2; }
export ETCDCTL_API=3
RANDOM=$seed

# Bounds, in seconds. A command's own deadlines are a few seconds per member; these are well
# above them, so a command killed at its bound was stuck, not slow.
readonly WRITE_BOUND=30 FIND_BOUND=60 WAIT_SLACK=20 WAKE_BOUND=60
# The longest a fault lasts, and the pause after healing before the next one.
readonly FAULT_MIN=2 FAULT_MAX=15 CALM_MIN=2 CALM_MAX=8
readonly TYPE=TEST_SYMBOL KEYS_PER_WRITER=16

tag=$(printf '%04x' $(($$ % 65536)))
hub=tfr-$tag-hub
net=198.51.100
ip_of() { echo "$net.1$1"; }
ns_of() { echo "tfr-$tag-m$1"; }
work=$(mktemp -d /tmp/fault-run.XXXXXX)
declare -a member_pid=() workers=()
pause_pid=""

# Stops a process and then, while it can start no more, everything it started; prints their
# process ids.
freeze_tree() {
  local pid=$1 child
  kill -STOP "$pid" 2>/dev/null || return 0
  echo "$pid"
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do freeze_tree "$child"; done
}

cleanup() {
  local status=$? pid i
  local -a doomed=()
  trap - EXIT INT TERM
  for pid in "${workers[@]}"; do mapfile -t -O "${#doomed[@]}" doomed < <(freeze_tree "$pid"); done
  if ((${#doomed[@]})); then
    kill -TERM "${doomed[@]}" 2>/dev/null
    kill -CONT "${doomed[@]}" 2>/dev/null
    sleep 1
    kill -KILL "${doomed[@]}" 2>/dev/null
  fi
  [ -z "$pause_pid" ] || kill "$pause_pid" 2>/dev/null
  for pid in "${member_pid[@]}"; do
    [ -n "$pid" ] || continue
    kill -CONT "$pid" 2>/dev/null
    kill -KILL "$pid" 2>/dev/null
  done
  wait 2>/dev/null
  for i in 0 1 2; do ip netns del "$(ns_of "$i")" 2>/dev/null; done
  ip netns del "$hub" 2>/dev/null
  ip link del "tfr${tag}r" 2>/dev/null
  if [ -n "$keep" ]; then
    mkdir -p "$keep" && cp "$work"/*.log "$work"/*.json "$keep"/ 2>/dev/null
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

now() { echo "$EPOCHREALTIME"; }
# A sleep that a signal to this script ends at once (the trap runs after a builtin wait).
pause() {
  sleep "$1" &
  pause_pid=$!
  wait "$pause_pid"
}
log_event() { printf '%s %s\n' "$(now)" "$*" >>"$work/faults.log"; }

# --- The network: a bridge in a namespace of its own, one veth pair per member and one for
# this namespace, so that the host's own firewall and bridge settings do not come into it.
setup_network() {
  local i ns
  if ip -4 addr show | grep -q " $net\." || [ -n "$(ip route show "$net.0/24")" ]; then
    echo "fault-run: $net.0/24 is in use here already" >&2
    return 1
  fi
  ip netns add "$hub" && ip -n "$hub" link set lo up &&
    ip -n "$hub" link add br0 type bridge && ip -n "$hub" link set br0 up || return 1
  for i in 0 1 2; do
    ns=$(ns_of "$i")
    ip netns add "$ns" &&
      ip link add "tfr${tag}a$i" type veth peer name "tfr${tag}b$i" &&
      ip link set "tfr${tag}a$i" netns "$hub" &&
      ip link set "tfr${tag}b$i" netns "$ns" &&
      ip -n "$ns" link set "tfr${tag}b$i" name eth0 &&
      ip -n "$ns" addr add "$(ip_of "$i")/24" dev eth0 &&
      ip -n "$ns" link set eth0 up && ip -n "$ns" link set lo up &&
      ip -n "$hub" link set "tfr${tag}a$i" master br0 up || return 1
  done
  ip link add "tfr${tag}r" type veth peer name "tfr${tag}p" &&
    ip link set "tfr${tag}p" netns "$hub" &&
    ip -n "$hub" link set "tfr${tag}p" master br0 up &&
    ip addr add "$net.1/24" dev "tfr${tag}r" && ip link set "tfr${tag}r" up
}

# --- The members: etcd started in its namespace with the options scripts/etcd-cluster.sh
# gives a member, on the namespace's address instead of loopback ports, and a compaction
# policy.
cluster_urls() {
  local i urls=""
  for i in 0 1 2; do urls+="${urls:+,}member$i=http://$(ip_of "$i"):2380"; done
  echo "$urls"
}
endpoints() {
  local i list=""
  for i in 0 1 2; do list+="${list:+,}$(ip_of "$i"):2379"; done
  echo "$list"
}
start_member() {
  local i=$1 ip
  ip=$(ip_of "$i")
  # shellcheck disable=SC2086 # FAULT_RUN_ETCD_FLAGS is a list of options
  ip netns exec "$(ns_of "$i")" etcd --name "member$i" --data-dir "$work/member$i.data" \
    --listen-client-urls "http://$ip:2379" --advertise-client-urls "http://$ip:2379" \
    --listen-peer-urls "http://$ip:2380" --initial-advertise-peer-urls "http://$ip:2380" \
    --initial-cluster "$(cluster_urls)" --initial-cluster-state new \
    --initial-cluster-token "tarne-fault-$tag" \
    ${FAULT_RUN_ETCD_FLAGS---auto-compaction-mode periodic --auto-compaction-retention 1m --pre-vote} \
    >>"$work/member$i.log" 2>&1 &
  member_pid[i]=$!
}
# Waits until every member answers (at most LIMIT seconds).
await_health() {
  local deadline=$((SECONDS + $1))
  until etcdctl --endpoints "$(endpoints)" --command-timeout 2s endpoint health >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# --- Faults. Each member is in one state at a time: up, killed, frozen, cut (link down) or
# dropped (every packet on its link dropped).
declare -a state=(up up up)
apply_fault() {
  local i=$1 kind=$2 ns
  ns=$(ns_of "$i")
  case $kind in
    killed) kill -KILL "${member_pid[i]}"; wait "${member_pid[i]}" 2>/dev/null ;;
    frozen) kill -STOP "${member_pid[i]}" ;;
    cut) ip -n "$ns" link set eth0 down ;;
    dropped)
      ip netns exec "$ns" iptables -A INPUT -i eth0 -j DROP &&
        ip netns exec "$ns" iptables -A OUTPUT -o eth0 -j DROP
      ;;
  esac
  state[i]=$kind
  log_event "fault member$i $kind"
}
heal() {
  local i=$1 ns
  ns=$(ns_of "$i")
  case ${state[i]} in
    killed) start_member "$i" ;;
    frozen) kill -CONT "${member_pid[i]}" ;;
    cut) ip -n "$ns" link set eth0 up ;;
    dropped) ip netns exec "$ns" iptables -F ;;
  esac
  [ "${state[i]}" = up ] || log_event "heal member$i ${state[i]}"
  state[i]=up
}
chaos() {
  local kinds=(killed frozen cut dropped) first second count
  while ((SECONDS < end_at)); do
    first=$((RANDOM % 3))
    count=$((RANDOM % 3 == 0 ? 2 : 1))
    log_event "episode members $count quorum $( ((count == 1)) && echo kept || echo lost)"
    apply_fault "$first" "${kinds[RANDOM % 4]}"
    if ((count == 2)); then
      second=$(((first + 1 + RANDOM % 2) % 3))
      apply_fault "$second" "${kinds[RANDOM % 4]}"
    fi
    pause $((FAULT_MIN + RANDOM % (FAULT_MAX - FAULT_MIN + 1)))
    for i in 0 1 2; do heal "$i"; done
    pause $((CALM_MIN + RANDOM % (CALM_MAX - CALM_MIN + 1)))
  done
}

# --- The hosts' commands. Each command runs under `timeout` with its bound and leaves one
# line in the host's command log: kind key start end status detail. Its standard output is
# left in the file named by $out.
location=etcd://$(endpoints)/fault-run
run_logged() {
  local host=$1 kind=$2 key=$3 bound=$4 detail=$5 input=$6
  shift 6
  local start end status err
  # Redirections are expanded in the child: name the files here.
  out=$work/$host.$BASHPID.out err=$work/$host.$BASHPID.err
  start=$(now)
  TARNE_DIRECTORY=$location TARNE_NODE=$work/$host.node \
    timeout -k 2 "$bound" "$@" <"$input" >"$out" 2>"$err"
  status=$?
  end=$(now)
  printf '%s %s %s %s %s %s %s\n' "$host" "$kind" "$key" "$start" "$end" "$status" "$detail" \
    >>"$work/commands.log"
  if ((status != 0)); then
    sed "s/^/$host $kind $key $status: /" "$err" >>"$work/failures.log"
  fi
  return "$status"
}

# Adds and deletes entries of its own keys in random order, and lists now and then.
writer() {
  local host=$1 number=$2 key op=0 payload
  payload=$work/$host.$number.payload
  while ((SECONDS < end_at)); do
    key=$(printf '0fa17000-%04x-4000-8000-%012x' "$number" $((RANDOM % KEYS_PER_WRITER)))
    op=$((op + 1))
    case $((RANDOM % 10)) in
      0)
        run_logged "$host" find - "$FIND_BOUND" - /dev/null "$tool" find -t "$TYPE" -f json &&
          { python3 -c 'import json, sys; json.load(sys.stdin)' <"$out" ||
            echo "$host find - 0: listing not JSON" >>"$work/failures.log"; }
        ;;
      [1-5])
        printf 'fault run %s writer %s op %s' "$host" "$number" "$op" >"$payload"
        run_logged "$host" add "$key" "$WRITE_BOUND" - "$payload" "$tool" add -u "$key" -t "$TYPE"
        ;;
      *)
        run_logged "$host" delete "$key" "$WRITE_BOUND" - /dev/null \
          "$tool" delete -u "$key" -t "$TYPE"
        ;;
    esac
    sleep "0.$((RANDOM % 3))"
  done
}

# Waits for an entry of a new key that the other host adds after a random delay: with a
# timeout of a few seconds (the add comes before or after it) or none (-i 0; the add is then
# tried until it succeeds, so the wait must end with it).
waiter() {
  local host=$1 other=$2 number=$3 n=0 key timeout delay wait_pid bound
  local -a timeouts=(0 2 5 10 20)
  while ((SECONDS < end_at)); do
    n=$((n + 1))
    key=$(printf '0fa17000-%04x-4000-9000-%012x' "$number" "$n")
    timeout=${timeouts[RANDOM % 5]}
    if ((timeout == 0)); then
      bound=$((end_at - SECONDS + WAKE_BOUND + 120))
      delay=$((1 + RANDOM % 15))
    else
      bound=$((timeout + WAIT_SLACK))
      delay=$((RANDOM % (timeout * 3 / 2 + 1)))
    fi
    run_logged "$host" wait "$key" "$bound" "$timeout" /dev/null \
      "$tool" wait -t "$TYPE" -u "$key" -i "$timeout" &
    wait_pid=$!
    sleep "$delay"
    until run_logged "$other" wadd "$key" "$WRITE_BOUND" - /dev/null "$tool" add -u "$key" -t "$TYPE"; do
      ((timeout == 0 && SECONDS < end_at + WAKE_BOUND + 60)) || break
      sleep 1
    done
    wait "$wait_pid"
  done
}

# --- The run.
echo "fault-run: seed $seed, $duration s, work folder $work"
setup_network || { echo "fault-run: could not set up the namespaces" >&2; exit 2; }
for i in 0 1 2; do start_member "$i"; done
await_health 30 || { echo "fault-run: the members did not answer within 30 s" >&2; exit 2; }
sub_cluster=0fa17000-0000-4000-a000-00000000c105
for host in host-a host-b; do
  self=0fa17000-0000-4000-a000-00000000000${host: -1}
  TARNE_NODE=$work/$host.node "$admin" init --directory "$location" --self "$self" \
    --cluster "$sub_cluster" >>"$work/init.log" 2>&1 ||
    { cat "$work/init.log" >&2; echo "fault-run: init of $host failed" >&2; exit 2; }
done
for log in commands failures faults; do : >"$work/$log.log"; done
start_at=$SECONDS end_at=$((SECONDS + duration))
log_event "start"
writer host-a 1 & workers+=($!)
writer host-a 2 & workers+=($!)
writer host-b 3 & workers+=($!)
writer host-b 4 & workers+=($!)
waiter host-a host-b 5 & workers+=($!)
waiter host-b host-a 6 & workers+=($!)
chaos
for i in 0 1 2; do heal "$i"; done
log_event "healed"
healed=0
await_health 60 && healed=1
# The writers end within a command's bound; a waiter whose wait has no timeout ends when its
# add has succeeded and the wait woke (or was killed at its bound).
for pid in "${workers[@]}"; do wait "$pid"; done
workers=()
log_event "end"

listed=1
for host in host-a host-b; do
  run_logged "$host" final - "$FIND_BOUND" - /dev/null "$tool" find -t "$TYPE" -f json &&
    cp "$out" "$work/final.$host.json" || listed=0
done
status_lines=$(for i in 0 1 2; do
  etcdctl --endpoints "$(ip_of "$i"):2379" --command-timeout 5s endpoint hashkv 2>&1
done)

python3 - "$work" "$((end_at - start_at))" "$healed" "$listed" "$WAKE_BOUND" "$((FAULT_MAX + 5))" \
  "$status_lines" <<'EOF'
import collections, json, re, sys

work, seconds, healed, listed, wake_bound, settle, hashes = sys.argv[1:8]
healed, listed, wake_bound, settle = int(healed), int(listed), float(wake_bound), float(settle)

commands = []
for line in open(f"{work}/commands.log"):
    host, kind, key, start, end, status, detail = line.split()
    commands.append(dict(host=host, kind=kind, key=key, start=float(start), end=float(end),
                         status=int(status), detail=detail))
KILLED = (124, 137)

# What the failed commands wrote to standard error.
failures = collections.Counter()
said = collections.defaultdict(list)
for line in open(f"{work}/failures.log"):
    host, kind, key, status, *rest = line.split(" ", 4)
    text = rest[0].strip() if rest else ""
    text = re.sub(r"\(owner=.*\): ", "(...): ", text)
    failures[f"{kind} {status.rstrip(':')}: {text}"] += 1
    said[(kind, key)].append(text)

# Faults, and how many members were faulty from each moment on.
episodes = collections.Counter()
kinds = collections.Counter()
faulty = [(0.0, 0)]
down = set()
for line in open(f"{work}/faults.log"):
    words = line.split()
    if words[1] == "episode":
        episodes[words[5]] += 1
    elif words[1] == "fault":
        kinds[words[3]] += 1
        down.add(words[2])
    elif words[1] == "heal":
        down.discard(words[2])
    faulty.append((float(words[0]), len(down)))

def most_faulty(start, end):
    """The most members faulty at once while a command ran."""
    before = [n for t, n in faulty if t <= start]
    return max([before[-1]] + [n for t, n in faulty if start < t <= end])

# The final listings: the entries each host sees.
present = {}
for host in ("host-a", "host-b"):
    try:
        entries = json.load(open(f"{work}/final.{host}.json"))["entries"]
        present[host] = {e["uuid"] for e in entries}
    except (OSError, ValueError, KeyError):
        present[host] = None
seen = present["host-a"] if present["host-a"] is not None else present["host-b"]
disagree = (present["host-a"] != present["host-b"]) if None not in present.values() else 1

# Adds and deletions, per key in the order they started.
missing = undone = explained = 0
writes = collections.defaultdict(list)
for c in commands:
    if c["kind"] in ("add", "wadd", "delete"):
        writes[c["key"]].append(c)
for key, ops in writes.items():
    ops.sort(key=lambda c: c["start"])
    acked = [c for c in ops if c["status"] == 0]
    if not acked or seen is None:
        continue
    last = acked[-1]
    adding = last["kind"] != "delete"
    if (key in seen) == adding:
        continue
    # A failed command of the other kind may have committed late.
    maybe = [c for c in ops if c["status"] != 0 and (c["kind"] != "delete") != adding
             and c["end"] >= last["start"] - settle]
    if maybe:
        explained += 1
    elif adding:
        missing += 1
    else:
        undone += 1

# Waits: each against the first add of its key.
first_add = {}
acked_add = {}
for c in sorted(commands, key=lambda c: c["start"]):
    if c["kind"] == "wadd":
        first_add.setdefault(c["key"], c)
        if c["status"] == 0:
            acked_add.setdefault(c["key"], c)
early = woken_without = over = missed = 0
early_by = collections.Counter()
waits = [c for c in commands if c["kind"] == "wait"]
for c in waits:
    timeout = int(c["detail"])
    elapsed = c["end"] - c["start"]
    if c["status"] in KILLED:
        over += 1
        continue
    if c["status"] == 0:
        add = first_add.get(c["key"])
        if add is None or c["end"] < add["start"]:
            woken_without += 1
        elif timeout == 0 and c["end"] - acked_add.get(c["key"], add)["end"] > wake_bound:
            over += 1
    elif timeout == 0 or elapsed < timeout:
        early += 1
        early_by[" / ".join(said[("wait", c["key"])]) or "nothing on standard error"] += 1
    else:
        add = acked_add.get(c["key"])
        if add is not None and add["end"] < c["start"] + timeout - 5:
            missed += 1
over += sum(1 for c in commands if c["kind"] != "wait" and c["status"] in KILLED)

print(f"run: {seconds} s; fault episodes {sum(episodes.values())} (quorum kept {episodes['kept']}, "
      f"lost {episodes['lost']}); member faults: " +
      ", ".join(f"{k} {kinds[k]}" for k in ("killed", "frozen", "cut", "dropped")))
for kind in ("add", "delete", "find", "wait", "wadd"):
    done = [c for c in commands if c["kind"] == kind]
    ok = sum(1 for c in done if c["status"] == 0)
    name = {"wadd": "adds for waits"}.get(kind, kind)
    print(f"commands: {name} {len(done)}, exit 0 {ok}, failed {len(done) - ok}")
timed = sorted((c["end"] - c["start"], c["kind"]) for c in commands if c["status"] not in KILLED
               and c["kind"] != "wait")
if timed:
    print(f"longest add/delete/find: {timed[-1][0]:.1f} s ({timed[-1][1]})")
by_state = collections.Counter()
for c in commands:
    timed_out = c["kind"] == "wait" and 0 < int(c["detail"]) <= c["end"] - c["start"]
    if c["status"] != 0 and c["kind"] != "final" and not timed_out:
        by_state[(most_faulty(c["start"], c["end"]), c["kind"])] += 1
# Waits that ran out are not failures here; right after a heal members may still be electing.
for n, label in ((0, "no member faulty"), (1, "one member faulty"), (2, "two members faulty")):
    kinds_failed = {k: v for (m, k), v in by_state.items() if m == n}
    print(f"failed while {label}: {sum(kinds_failed.values())}" +
          "".join(f", {k} {v}" for k, v in sorted(kinds_failed.items())))
for text, count in failures.most_common(12):
    print(f"failure x{count}: {text}")
for text, count in early_by.most_common(5):
    print(f"wait ended before its timeout x{count}: {text}")
print(f"waits that timed out with their entry added 5 s before: {missed}")
print(f"members' hashes: " + " | ".join(l for l in hashes.splitlines() if l.strip()))
print(f"hosts' listings differ: {int(bool(disagree))}")
print(f"explained by a failed command: {explained}")
counts = {
    "cluster healed": 0 if healed and listed else 1,
    "acknowledged adds missing": missing,
    "acknowledged deletions undone": undone,
    "waits ended before timeout": early,
    "waits woken without entry": woken_without,
    "commands over their bound": over,
}
for name, value in counts.items():
    if name == "cluster healed":
        print(f"cluster healed and listed: {'yes' if not value else 'NO'}")
    else:
        print(f"{name}: {value}")
sys.exit(1 if any(counts.values()) or disagree else 0)
EOF
