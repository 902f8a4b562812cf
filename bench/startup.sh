#!/usr/bin/env bash
# Start-up cost of the tool on a SQLite directory: `tarne-tool whoami` beside
# `sqlite3 FILE 'select 1'` on the same file, RUNS times each. Per run: CPU time
# (user + system, mean of the runs), peak memory (the largest of 20 runs), and the shared
# libraries the process maps; then the ratio of the CPU times, and whether any gRPC, protobuf
# or abseil library was loaded (the goal: none, at most 1.5x sqlite3's CPU, a peak under 6 MB).
# The processor model comes first: a figure is only comparable with figures of the same one.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]     (build/release 200)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/release}" && pwd)
runs=${2:-200}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The installed layout, as the packages ship it: the build folder's programs carry a RUNPATH
# padded for the install's rewrite, whose empty entry sends the loader searching the current
# folder for every library.
cmake --install "$build" --prefix "$work/installed" >/dev/null
tool=$work/installed/bin/tarne-tool
admin=$work/installed/sbin/tarne-admin
export TARNE_DIRECTORY=$work/directory.db TARNE_NODE=$work/node
"$admin" init --self 1e2d3c4b-5a69-4788-97a6-b5c4d3e2f100 \
  --cluster 7a6b5c4d-3e2f-4101-9f8e-7d6c5b4a3928 >/dev/null

lscpu | grep 'Model name'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs each"

# CPU: hyperfine's mean user and system time over the runs (the two commands in turn, after
# a warm-up); peak memory: the largest of a few runs under /usr/bin/time.
hyperfine -N --warmup 10 --runs "$runs" --export-json "$work/hyperfine.json" \
  "$tool whoami" "sqlite3 $TARNE_DIRECTORY 'select 1'" >/dev/null 2>"$work/hyperfine.err" ||
  { cat "$work/hyperfine.err"; exit 1; }
grep -q outliers "$work/hyperfine.err" && echo "(hyperfine saw outliers: the machine is not quiet)"
peak() {
  local most=0 kib
  for ((i = 0; i < 20; ++i)); do
    /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
    kib=$(<"$work/time")
    ((kib > most)) && most=$kib
  done
  echo "$most"
}
tool_peak=$(peak "$tool" whoami)
sqlite_peak=$(peak sqlite3 "$TARNE_DIRECTORY" 'select 1')
read -r tool_cpu sqlite_cpu < <(python3 -c '
import json, sys
results = json.load(open(sys.argv[1]))["results"]
print(" ".join("%.3f" % ((r["user"] + r["system"]) * 1000) for r in results))' "$work/hyperfine.json")

# libraries COMMAND...: the shared objects the dynamic loader opened for one run.
libraries() {
  LD_DEBUG=files "$@" 2>&1 >/dev/null | grep -oE 'file=[^ ]+ \[0\];  (needed|dynamically loaded)' |
    sed -E 's/file=([^ ]+).*/\1/' | sort -u
}
libraries "$tool" whoami >"$work/tool.libs"
libraries sqlite3 "$TARNE_DIRECTORY" 'select 1' >"$work/sqlite3.libs"

printf '%-22s %10s %10s %10s\n' "" "CPU ms" "peak KiB" "libraries"
printf '%-22s %10s %10s %10s\n' "tarne-tool whoami" "$tool_cpu" "$tool_peak" \
  "$(wc -l <"$work/tool.libs")"
printf '%-22s %10s %10s %10s\n' "sqlite3 'select 1'" "$sqlite_cpu" "$sqlite_peak" \
  "$(wc -l <"$work/sqlite3.libs")"
awk -v t="$tool_cpu" -v s="$sqlite_cpu" 'BEGIN { printf "CPU ratio: %.2fx\n", (s > 0 ? t / s : 0) }'
heavy=$(grep -cE 'grpc|protobuf|absl|tarne_etcd' "$work/tool.libs" || true)
echo "gRPC, protobuf, abseil or cluster-backend libraries loaded by tarne-tool: $heavy"
grep -E 'grpc|protobuf|absl|tarne_etcd' "$work/tool.libs" | sed 's/^/  /' || true
