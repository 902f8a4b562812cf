#!/usr/bin/env bash
# Runs one end-to-end case and compares its standard output, standard error and exit status
# byte for byte with the expected files beside it.
#
#   run_case.sh [--update] CASE_DIR
#
# A case directory holds:
#   cmd     bash commands, run in a fresh empty directory with `tarne-tool` and `tarne-admin`
#           on PATH and TARNE_DIRECTORY=$PWD/directory.db (not created unless cmd does it)
#   stdin   optional: standard input of cmd
#   fake    optional: run against the test-only fake client library driven by this script
#   etcd    optional: the case starts etcd members of its own (label etcd, a longer timeout)
#   stdout, stderr, status   the expected results (written by --update)
# Timestamps such as "2026-12-04T06:33:21: " are compared as "<TIME>: ".
set -uo pipefail

update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
case_dir=$(cd "$1" && pwd)
: "${TARNE_TOOL:?path of the built tarne-tool}"
: "${TARNE_ADMIN:=}"
: "${TARNE_FAKE_LIBDIR:=}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/run"
ln -s "$TARNE_TOOL" "$work/bin/tarne-tool"
[ -n "$TARNE_ADMIN" ] && ln -s "$TARNE_ADMIN" "$work/bin/tarne-admin"

env_extra=()
if [ -f "$case_dir/fake" ]; then
  env_extra+=("LD_LIBRARY_PATH=$TARNE_FAKE_LIBDIR" "TARNE_FAKE_SCRIPT=$case_dir/fake")
fi
stdin_file=/dev/null
[ -f "$case_dir/stdin" ] && stdin_file="$case_dir/stdin"

(
  cd "$work/run" &&
    env PATH="$work/bin:$PATH" TARNE_DIRECTORY="$work/run/directory.db" CASE_DIR="$case_dir" \
      "${env_extra[@]}" bash -e "$case_dir/cmd" <"$stdin_file" >"$work/stdout" 2>"$work/stderr"
)
echo $? >"$work/status"

normalise() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}: /<TIME>: /g' "$1"; }

if ((update)); then
  for stream in stdout stderr; do normalise "$work/$stream" >"$case_dir/$stream"; done
  cp "$work/status" "$case_dir/status"
  exit 0
fi

failed=0
for stream in stdout stderr status; do
  if ! cmp -s <(normalise "$work/$stream") "$case_dir/$stream"; then
    echo "--- $stream differs (expected, then actual):"
    diff <(cat -A "$case_dir/$stream") <(normalise "$work/$stream" | cat -A) | head -40
    failed=1
  fi
done
exit $failed
