# shellcheck shell=bash
# Helpers for the readdump end-to-end cases, sourced by their cmd:
#   source "$CASE_DIR/../../../dump/dump_case_lib.sh"
#
#   make_test_dump ARGS...            the dump generator built beside tarne-tool
#   with_dump_header FILE|- COMMAND   runs COMMAND while the fixed header path holds a copy of
#                                     FILE, or nothing at all for "-"
#
# The header path is fixed, and a host may keep a real dump's header there. COMMAND therefore
# runs in a private mount namespace with an empty tmpfs over the header's folder, so nothing
# outside changes (the folder itself is created once when missing and left in place, since
# another test run may be using it as its mount point). Where a mount namespace is not allowed
# (no root), an existing header file is saved and put back instead. Cases that call
# with_dump_header carry a `serial` marker file, so that they never run side by side.

dump_tool_dir=$(dirname "$(readlink -f "$(command -v tarne-tool)")")
dump_header_dir=/scratch/log
dump_header_path=$dump_header_dir/tarne.dump.hdr

make_test_dump() {
  "$dump_tool_dir/make-test-dump" "$@"
}

with_dump_header() {
  local header=$1
  shift
  if unshare -m true 2>/dev/null && mkdir -p "$dump_header_dir" 2>/dev/null; then
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare -m -- bash -c '
      mount -t tmpfs tarne-dump-test "$1" || exit 99
      if [ "$2" != - ]; then cp -- "$2" "$1/tarne.dump.hdr" || exit 99; fi
      shift 2
      exec "$@"' with_dump_header "$dump_header_dir" "$header" "$@"
    return
  fi
  dump_header_swap "$header" "$@"
}

dump_header_swap() {
  local header=$1 saved="" status=0
  shift
  mkdir -p "$dump_header_dir" || return 99
  if [ -e "$dump_header_path" ]; then
    saved=$(mktemp) && cp -p -- "$dump_header_path" "$saved" || return 99
  fi
  # shellcheck disable=SC2064  # the paths are fixed now
  trap "dump_header_restore '$saved'" EXIT INT TERM
  rm -f -- "$dump_header_path"
  if [ "$header" != - ]; then cp -- "$header" "$dump_header_path" || return 99; fi
  "$@" || status=$?
  dump_header_restore "$saved"
  trap - EXIT INT TERM
  return $status
}

dump_header_restore() {
  rm -f -- "$dump_header_path"
  if [ -n "$1" ]; then mv -f -- "$1" "$dump_header_path"; fi
}
