# shellcheck shell=bash
# Sourced by the readdump cases' cmd: make_test_dump ARGS... runs the generator built beside
# tarne-tool; with_dump_header FILE|- COMMAND runs COMMAND in a private mount namespace where
# the fixed header path holds a copy of FILE (nothing for "-"), so a host's real header stays
# untouched. Without root, a user namespace is used, and the header's folder must exist.
dump_tool_dir=$(dirname "$(readlink -f "$(command -v tarne-tool)")")
make_test_dump() { "$dump_tool_dir/make-test-dump" "$@"; }
with_dump_header() {
  local user=()
  (($(id -u))) && user=(-r)
  mkdir -p /scratch/log 2>/dev/null
  # shellcheck disable=SC2016  # expanded by the inner shell
  unshare -m "${user[@]}" -- bash -c 'mount -t tmpfs tarne-dump-test /scratch/log &&
    if [ "$1" != - ]; then cp -- "$1" /scratch/log/tarne.dump.hdr; fi || exit 99
    shift; exec "$@"' with_dump_header "$@"
}
