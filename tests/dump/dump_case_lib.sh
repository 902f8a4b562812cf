# shellcheck shell=bash
# Sourced by the readdump cases' cmd. dump_of ENTRY... writes h and d.gz: tarne-admin's dump
# of a fresh directory holding one entry per ENTRY, a string of tarne-admin put's words
# besides --uuid (uuids count up; without fields an entry has no payload), its times fixed.
# set_header NAME=VALUE... rewrites fields of h; dump_entry_header VALUELEN prints a bare
# entry header. with_dump_header FILE|- COMMAND runs COMMAND in a private mount namespace
# where the fixed header path holds a copy of FILE (nothing for "-"), so a host's real header
# stays untouched. Without root, a user namespace is used, and the header's folder must exist.
dump_of() {
  local directory n=0 entry
  directory=$(mktemp -d)/d.db
  tarne-admin init --directory "$directory" --self 11111111-2222-3333-4444-555555555555 \
    --cluster aaaaaaaa-0000-0000-0000-000000000001 >/dev/null
  for entry in "$@"; do
    n=$((n + 1))
    # shellcheck disable=SC2086  # the entry is a string of words
    tarne-admin put --directory "$directory" $entry </dev/null \
      --uuid "00000000-0000-0000-0000-$(printf %012x $n)"
  done
  tarne-admin dump --directory "$directory" --output d.gz --header h >/dev/null
  rm -rf "$(dirname "$directory")"
  set_header starttime=1764900000 endtime=1764900042
}
# le VALUE BYTES: VALUE's lowest BYTES bytes, little-endian.
le() {
  local i
  # shellcheck disable=SC2059  # the format is the escaped byte
  for ((i = 0; i < $2; i++)); do printf "\\$(printf %03o $(($1 >> 8 * i & 255)))"; done
}
set_header() {
  local word at size
  for word; do
    case ${word%%=*} in
      magic) at=0 size=8 ;;
      minor) at=12 size=4 ;;
      major) at=16 size=4 ;;
      numentries) at=20 size=4 ;;
      starttime) at=24 size=4 ;;
      endtime) at=28 size=4 ;;
      *) echo "set_header: no field ${word%%=*}" >&2 && return 1 ;;
    esac
    le "$((${word#*=}))" $size | dd of=h bs=1 seek=$at conv=notrunc status=none
  done
}
dump_entry_header() {  # a DISK entry, healthy, claiming VALUELEN payload bytes
  head -c 40 /dev/zero && printf '\004\002' && head -c 18 /dev/zero && le "$1" 4
}
with_dump_header() {
  local user=()
  (($(id -u))) && user=(-r)
  mkdir -p /scratch/log 2>/dev/null
  # shellcheck disable=SC2016  # expanded by the inner shell
  unshare -m "${user[@]}" -- bash -c 'mount -t tmpfs tarne-dump-test /scratch/log &&
    if [ "$1" != - ]; then cp -- "$1" /scratch/log/tarne.dump.hdr; fi || exit 99
    shift; exec "$@"' with_dump_header "$@"
}
