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
set_header() {
  python3 - "$@" <<'PY'
import struct, sys
fields = {"magic": (0, "<Q"), "minor": (12, "<i"), "major": (16, "<i"),
          "numentries": (20, "<I"), "starttime": (24, "<I"), "endtime": (28, "<I")}
header = bytearray(open("h", "rb").read())
for word in sys.argv[1:]:
    name, value = word.split("=")
    struct.pack_into(fields[name][1], header, fields[name][0], int(value, 0))
open("h", "wb").write(header)
PY
}
dump_entry_header() {  # a DISK entry, healthy, claiming VALUELEN payload bytes
  python3 -c 'import struct, sys; sys.stdout.buffer.write(bytes(40) + bytes([4, 2]) + bytes(18)
    + struct.pack("<I", int(sys.argv[1])))' "$1"
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
