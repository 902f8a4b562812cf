#!/usr/bin/env bash
# The two directory backends side by side in one run: a SQLite file and a three-member etcd
# cluster on loopback (started here, stopped on exit whatever happens), each with a fresh
# directory. For each backend:
#   1. adds per second, ENTRIES adds through the library with 900 in flight (backend_adds);
#   2. `tarne-tool find -a` of the ENTRIES entries into /dev/null, and on etcd `etcdctl get
#      --prefix PREFIX/u/ -w json` of the same keys beside it; best of REPEATS, taking turns;
#   3. `tarne-tool delete -t 18` of the ENTRIES entries, with 1,000 of another type that must
#      survive;
#   4. the delay from an add by one host to a wait of another host waking (backend_wake, two
#      node files on etcd; two processes on one file for SQLite), WAKES times: p50 and p99;
#   5. with LISTINGS: what a listing on etcd costs against its size, in a directory of its own
#      grown to each size LISTINGS names in turn: `tarne-tool find -a -f json` and `etcdctl
#      get --prefix -w json` of the same keys, best of REPEATS, on the machine as it is and
#      then with `stress-ng --cpu 4` running beside them, and the range reads one find makes
#      (from the members' metrics).
#
#   [PAGES="64 1024 ..."] [LISTINGS="100000 1000000"] \
#     bench/backends.sh [BUILD_DIR] [ENTRIES] [WAKES] [REPEATS]
#                                                    (default: build/bench 100000 200 3)
#
# PAGES: after the listings, also reads the etcd directory's keys in pages of those sizes
# (bench/etcd_pages.py), to show what the page size costs.
# BUILD_DIR needs the benchmarks (preset "bench"). Figures go to docs/PERFORMANCE.md,
# section "Two backends".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/bench}" && pwd)
entries=${2:-100000}
wakes=${3:-200}
repeats=${4:-3}
bin=$build/bin
for program in tarne-tool tarne-admin backend_adds backend_wake; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is missing (build the bench preset)" >&2; exit 1; }
done
export ETCDCTL_API=3

# A million entries are three million keys and their history: beyond etcd's default quota of
# 2 GiB. etcd takes its options from the environment too.
[ -z "${LISTINGS:-}" ] || export ETCD_QUOTA_BACKEND_BYTES=${ETCD_QUOTA_BACKEND_BYTES:-8589934592}

. "$here/cluster_lib.sh"

echo "# $(date -u '+%Y-%m-%d %H:%M') UTC, $entries entries, $wakes wakes, best of $repeats; load:$(uptime | sed 's/.*load average://')"
endpoints=$(start_cluster 3)
prefix=bench$$
etcd_location="etcd://$endpoints/$prefix"
# etcdctl gives up after 5 s by default: a million keys take longer.
etcdctl=(etcdctl --endpoints "$endpoints" --command-timeout 600s)

self_a=00000000-0000-4000-8000-0000000000a1
self_b=00000000-0000-4000-8000-0000000000b2
cluster=00000000-0000-4000-8000-00000000c1c1
"$bin/tarne-admin" init --directory "$work/directory.db" --self "$self_a" --cluster "$cluster" >/dev/null
# Two hosts of one directory on etcd: the first creates it, the second joins it.
created=$(TARNE_NODE=$work/node-a "$bin/tarne-admin" init --directory "$etcd_location" \
  --self "$self_a" --cluster "$cluster")
[[ $created == *": created; node file"* ]] || { echo "no fresh etcd directory: $created" >&2; exit 1; }
TARNE_NODE=$work/node-b "$bin/tarne-admin" init --directory "$etcd_location" --self "$self_b" \
  --cluster "$cluster" >/dev/null

# on BACKEND COMMAND...: runs the command against that backend's directory, as host a.
on() {
  local backend=$1
  shift
  (
    case $backend in
      sqlite) unset TARNE_NODE && export TARNE_DIRECTORY=$work/directory.db ;;
      etcd) export TARNE_DIRECTORY=$etcd_location TARNE_NODE=$work/node-a ;;
    esac
    "$@"
  )
}
# Wall seconds of a command (its output to /dev/null), as "wall cpu".
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null || { echo "failed: $*" >&2; return 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}
# Rows of the directory: on SQLite as tarne-admin counts them, on etcd every key under the
# prefix (three per row and the marker).
rows() {
  case $1 in
    sqlite) "$bin/tarne-admin" info --directory "$work/directory.db" | sed -n 's/^entries: //p' ;;
    etcd) "${etcdctl[@]}" get --prefix "$prefix/" --limit 1 -w json | jq .count ;;
  esac
}
expect_rows() {
  local backend=$1 rows_wanted=$2 found
  [ "$backend" = sqlite ] || rows_wanted=$((rows_wanted * 3 + 1))
  found=$(rows "$backend")
  [ "$found" = "$rows_wanted" ] || { echo "$backend: expected $rows_wanted rows, found $found" >&2; exit 1; }
}
best() {  # best KEY "wall cpu": keeps the lower wall time
  if [ -z "${result[$1]:-}" ] || awk -v a="${2%% *}" -v b="${result[$1]%% *}" 'BEGIN { exit !(a < b) }'; then
    result[$1]=$2
  fi
}
declare -A result

backends=(sqlite etcd)
for backend in "${backends[@]}"; do
  read -r _ _ _ seconds _ rate < <(on "$backend" "$bin/backend_adds" "$entries" 18 1)
  result[add $backend]="$seconds $rate"
  expect_rows "$backend" "$entries"
done

for backend in "${backends[@]}"; do
  listed=$(on "$backend" "$bin/tarne-tool" find -a | grep -c '^owner=')
  [ "$listed" = "$entries" ] || { echo "$backend: find listed $listed entries" >&2; exit 1; }
done
listed=$("${etcdctl[@]}" get --prefix "$prefix/u/" --keys-only | grep -c .)
[ "$listed" = "$entries" ] || { echo "etcdctl listed $listed keys" >&2; exit 1; }
for ((run = 0; run < repeats; run++)); do
  for backend in "${backends[@]}"; do
    best "find $backend" "$(on "$backend" timed "$bin/tarne-tool" find -a)"
  done
  best etcdctl "$(timed "${etcdctl[@]}" get --prefix "$prefix/u/" -w json)"
done

# The same keys in pages of each size PAGES names, through the members' JSON gateway.
for limit in ${PAGES:-}; do
  echo "# etcd_pages: $("$here/etcd_pages.py" "${endpoints%%,*}" "$prefix" "$limit")"
done

for backend in "${backends[@]}"; do
  on "$backend" "$bin/backend_adds" 1000 29 2 >/dev/null
  result[delete $backend]=$(on "$backend" timed "$bin/tarne-tool" delete -t 18)
  expect_rows "$backend" 1000
done

result[wake sqlite]=$(on sqlite "$bin/backend_wake" "$wakes")
result[wake etcd]=$(on etcd "$bin/backend_wake" "$wakes" "$work/node-b")

# A listing's cost against its size, in a directory of its own.
listing_location="etcd://$endpoints/list$$"
# Range requests the members have started serving, summed.
range_reads() {
  local endpoint total=0
  for endpoint in ${endpoints//,/ }; do
    total=$((total + $(python3 -c 'import re, sys, urllib.request
text = urllib.request.urlopen(sys.argv[1]).read().decode()
print(int(sum(float(n) for n in re.findall(
    r"^grpc_server_started_total\{[^}]*grpc_method=\"Range\"[^}]*\} (\S+)$", text, re.M))))' \
      "http://$endpoint/metrics")))
  done
  echo "$total"
}
list_on() { TARNE_DIRECTORY=$listing_location TARNE_NODE=$work/node-l "$@"; }
# measure_listings SIZE LOAD: best of REPEATS of find and etcdctl, taking turns.
measure_listings() {
  local run took
  for ((run = 0; run < repeats; run++)); do
    # Into a file, not /dev/null: a listing that a failed read ended early must not count.
    took=$(list_on timed_into "$work/listing.json" "$bin/tarne-tool" find -a -f json)
    expect_listed "$1" "$work/listing.json"
    best "lfind $1 $2" "$took"
    took=$(timed "${etcdctl[@]}" get --prefix "list$$/u/" -w json)
    best "lget $1 $2" "$took"
  done
}
# timed_into FILE COMMAND...: as timed, the output into FILE.
timed_into() {
  local file=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$file" || { echo "failed: $*" >&2; return 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}
expect_listed() {  # expect_listed SIZE FILE: the json listing in FILE holds SIZE entries
  local listed
  listed=$(grep -c '"uuid": "' "$2")
  rm -f "$2"
  [ "$listed" = "$1" ] || { echo "find -f json listed $listed of $1 entries" >&2; exit 1; }
}
listing_sizes=(${LISTINGS:-})
if ((${#listing_sizes[@]})); then
  TARNE_NODE=$work/node-l "$bin/tarne-admin" init --directory "$listing_location" --self "$self_a" \
    --cluster "$cluster" >/dev/null
  have=0
  tag=16
  for size in "${listing_sizes[@]}"; do
    list_on "$bin/backend_adds" $((size - have)) 18 $((tag++)) >/dev/null
    have=$size
    listed=$(list_on "$bin/tarne-tool" find -a | grep -c '^owner=')
    [ "$listed" = "$size" ] || { echo "find listed $listed of $size entries" >&2; exit 1; }
    before=$(range_reads)
    list_on "$bin/tarne-tool" find -a -f json >"$work/listing.json"
    result[lreads $size]=$(($(range_reads) - before))
    expect_listed "$size" "$work/listing.json"
    result[lload $size idle]=$(uptime | sed 's/.*load average: //; s/,.*//')
    measure_listings "$size" idle
    stress-ng --cpu 4 --quiet &
    stress=$!
    sleep 2
    result[lload $size stress]=$(uptime | sed 's/.*load average: //; s/,.*//')
    measure_listings "$size" stress
    kill "$stress"
    wait "$stress" 2>/dev/null || true
    stress=
  done
fi

# The table: one row per figure, the two backends side by side, the goal where there is one.
row() { printf '%-40s %12s %12s   %s\n' "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
per_second() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }'; }
field() { awk -v i="$2" '{ print $i }' <<<"$1"; }
met() { awk -v v="$1" -v goal="$2" -v op="$3" 'BEGIN { ok = op == "min" ? v >= goal : v <= goal; print ok ? "met" : "MISSED" }'; }

add_rate_etcd=$(field "${result[add etcd]}" 2)
find_ratio=$(ratio "$(field "${result[find etcd]}" 1)" "$(field "${result[etcdctl]}" 1)")
wake_p99_etcd=$(field "${result[wake etcd]}" 5)
row what sqlite etcd goal
row "adds, 900 in flight: s" "$(field "${result[add sqlite]}" 1)" "$(field "${result[add etcd]}" 1)" ""
row "adds/s" "$(field "${result[add sqlite]}" 2)" "$add_rate_etcd" \
  "etcd >= 2000: $(met "$add_rate_etcd" 2000 min)"
row "find -a of $entries: wall s" "$(field "${result[find sqlite]}" 1)" "$(field "${result[find etcd]}" 1)" ""
row "find -a: CPU s (tarne-tool)" "$(field "${result[find sqlite]}" 2)" "$(field "${result[find etcd]}" 2)" ""
row "etcdctl get --prefix -w json: wall s" - "$(field "${result[etcdctl]}" 1)" ""
row "etcdctl get: CPU s (etcdctl)" - "$(field "${result[etcdctl]}" 2)" ""
row "find / etcdctl, wall" - "$find_ratio" "etcd <= 1.5: $(met "$find_ratio" 1.5 max)"
row "delete -t of $entries: wall s" "$(field "${result[delete sqlite]}" 1)" "$(field "${result[delete etcd]}" 1)" ""
row "delete: entries/s" "$(per_second "$entries" "$(field "${result[delete sqlite]}" 1)")" \
  "$(per_second "$entries" "$(field "${result[delete etcd]}" 1)")" ""
row "wake, from add request: p50 ms" "$(field "${result[wake sqlite]}" 4)" "$(field "${result[wake etcd]}" 4)" ""
row "wake, from add request: p99 ms" "$(field "${result[wake sqlite]}" 5)" "$wake_p99_etcd" \
  "etcd <= 100: $(met "$wake_p99_etcd" 100 max)"
row "wake, from add request: max ms" "$(field "${result[wake sqlite]}" 6)" "$(field "${result[wake etcd]}" 6)" ""
row "wake, from add completion: p50 ms" "$(field "${result[wake sqlite]}" 8)" "$(field "${result[wake etcd]}" 8)" ""
row "wake, from add completion: p99 ms" "$(field "${result[wake sqlite]}" 9)" "$(field "${result[wake etcd]}" 9)" ""
if ((${#listing_sizes[@]})); then
  smallest=${listing_sizes[0]}
  echo
  printf '%-8s %10s %8s %8s %8s %12s %10s %8s   %s\n' load entries find_s etcdctl_s ratio \
    find_vs_$smallest reads load1 goal
  for load in idle stress; do
    for size in "${listing_sizes[@]}"; do
      find_s=$(field "${result[lfind $size $load]}" 1)
      get_s=$(field "${result[lget $size $load]}" 1)
      growth=$(ratio "$find_s" "$(field "${result[lfind $smallest $load]}" 1)")
      allowed=$(awk -v a="$size" -v b="$smallest" 'BEGIN { printf "%.2f", 1.2 * a / b }')
      printf '%-8s %10s %8s %8s %8s %12s %10s %8s   %s\n' "$load" "$size" "$find_s" "$get_s" \
        "$(ratio "$find_s" "$get_s")" "$growth" "${result[lreads $size]}" \
        "${result[lload $size $load]}" \
        "find/etcdctl <= 1.5: $(met "$(ratio "$find_s" "$get_s")" 1.5 max); growth <= $allowed: $(met "$growth" "$allowed" max)"
    done
  done
fi
echo "# done; load:$(uptime | sed 's/.*load average://')"
