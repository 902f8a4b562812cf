#!/usr/bin/env bash
# Installs the built Debian packages on a fresh Debian 12 root and runs a new host's first
# day there: a file host's packages without gRPC, then the cluster backend's; the folders
# the packages ship, init on a file and on a cluster location (one
# etcd member started outside, on loopback), an init that fails and leaves nothing behind,
# the tool's add and find without TARNE_DIRECTORY, a dump to the default header path, and a
# purge that keeps the directory's data. Prints one line per check and a closing count;
# exits 1 when a check fails, 2 when the root cannot be made. The root is removed on exit,
# whatever happens. Needs root, debootstrap and a Debian mirror; takes a few minutes, so it
# is not part of the test suite.
#
#   scripts/package-check.sh [BUILD_DIR]     (default build/release, built with its packages)
#
# MIRROR overrides the mirror debootstrap and apt use (default http://deb.debian.org/debian).
# DEBOOTSTRAP_TARBALL=FILE keeps debootstrap's downloads in FILE (made on the first run,
# unpacked on the next ones), so that a second run does not fetch the base system again.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/release}" && pwd) || exit 2
mirror=${MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" = 0 ] || { echo "package-check: run as root (debootstrap, chroot)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "package-check: debootstrap is missing" >&2; exit 2; }

work=$(mktemp -d /var/tmp/tarne-package-check.XXXXXX)
root=$work/root
etcd_dir=$work/etcd
cleanup() {
  "$here/scripts/etcd-cluster.sh" stop "$etcd_dir" >/dev/null 2>&1
  for mounted in "$root/dev" "$root/proc"; do
    mountpoint -q "$mounted" && umount -l "$mounted"
  done
  # Never follow a mount left behind into the host's own files.
  if ! grep -q " $root/" /proc/mounts; then rm -rf "$work"; else echo "package-check: $work still has mounts, left in place" >&2; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

checks=0
failed=0
check() {  # check WHAT COMMAND...: runs the command, prints ok or FAIL with its output
  local what=$1 output
  shift
  checks=$((checks + 1))
  if output=$("$@" 2>&1); then
    echo "ok    $what"
  else
    failed=$((failed + 1))
    echo "FAIL  $what"
    sed 's/^/      /' <<<"$output"
  fi
}
# inroot COMMAND: runs a shell command in the root, as root, with a login's plain environment.
inroot() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 sh -c "$1"; }
has() { grep -qF -- "$1" <<<"$2" || { echo "expected: $1"; echo "got: $2"; return 1; }; }

echo "== packages"
rm -f "$build"/tarne-*.deb
cmake --build "$build" --target package >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; exit 2; }
ls "$build"/tarne-*.deb

echo "== a fresh Debian 12 root ($mirror)"
tarball=()
if [ -n "${DEBOOTSTRAP_TARBALL:-}" ]; then
  tarball_path=$(realpath -m "$DEBOOTSTRAP_TARBALL")
  if [ ! -s "$tarball_path" ]; then
    debootstrap --variant=minbase --make-tarball="$tarball_path" bookworm "$work/fetch" "$mirror" \
      >"$work/debootstrap.log" 2>&1 || { tail -5 "$work/debootstrap.log"; exit 2; }
  fi
  tarball=(--unpack-tarball="$tarball_path")
fi
if ! debootstrap --variant=minbase "${tarball[@]}" bookworm "$root" "$mirror" \
  >"$work/debootstrap.log" 2>&1; then
  tail -5 "$work/debootstrap.log"
  echo "package-check: debootstrap could not make the root (is $mirror reachable?)" >&2
  exit 2
fi
mount -t proc proc "$root/proc" && mount --bind /dev "$root/dev" || exit 2
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/debs" && cp "$build"/tarne-*.deb "$root/tmp/debs/"
# A host on a file first: the tool, the libraries and tarne-admin, without the cluster backend.
install() {
  if ! inroot "apt-get install -y -q --no-install-recommends $*" >>"$work/install.log" 2>&1; then
    tail -20 "$work/install.log"
    exit 2
  fi
}
inroot "apt-get update -q" >"$work/install.log" 2>&1 || { tail -20 "$work/install.log"; exit 2; }
install /tmp/debs/tarne-tool_*.deb /tmp/debs/tarne-libraries_*.deb /tmp/debs/tarne-admin_*.deb
echo "installed: $(inroot "dpkg-query -W -f '\${Package} \${Version}  ' 'tarne-*'")"
base_grpc=$(inroot "dpkg-query -W -f '\${Package}\n' | grep -E '^lib(grpc|protobuf|absl)'")
cluster_absent=$(inroot "TARNE_DIRECTORY=etcd://127.0.0.1:9 tarne-admin status 2>&1")
install /tmp/debs/tarne-directory-cluster_*.deb
echo "installed: $(inroot "dpkg-query -W -f '\${Package} \${Version}  ' 'tarne-*'")"

echo "== one etcd member on loopback, outside the root"
"$here/scripts/etcd-cluster.sh" start "$etcd_dir" 1 >"$work/etcd.log" 2>&1 ||
  { cat "$work/etcd.log"; exit 2; }
endpoints=$(cat "$etcd_dir/endpoints")
echo "$endpoints"
location=etcd://$endpoints/package-check

echo "== checks"
check "the tool, the libraries and tarne-admin install no gRPC, protobuf or abseil" \
  test -z "$base_grpc"
check "... and a cluster location without the cluster backend names the file tried" \
  has "the cluster backend cannot be loaded from /usr/lib/tarne/libtarne_etcd_backend.so" "$cluster_absent"
check "the packages ship /etc/tarne and /var/lib/tarne, root's, mode 755" \
  has "755 root root /etc/tarne
755 root root /var/lib/tarne" "$(inroot 'stat -c "%a %U %G %n" /etc/tarne /var/lib/tarne')"
for package in tarne-tool tarne-libraries tarne-admin tarne-directory-cluster; do
  check "$package has its copyright and changelog" \
    inroot "test -s /usr/share/doc/$package/copyright && gzip -t /usr/share/doc/$package/changelog.gz"
done
check "the programs run without LD_LIBRARY_PATH" inroot "tarne-tool --help >/dev/null; tarne-admin 2>&1 | grep -q init"

self=5e000000-0000-4000-8000-00000000d0c1
check "init on a file at the default path" \
  has "755 /var/lib/tarne
600 /var/lib/tarne/directory.db" \
  "$(inroot "tarne-admin init --self $self >/dev/null && stat -c '%a %n' /var/lib/tarne /var/lib/tarne/directory.db")"
check "the tool finds the file without TARNE_DIRECTORY" has "$self" "$(inroot 'tarne-tool whoami')"

out=$(inroot "mkdir -p /srv && touch /srv/blocker && TARNE_NODE=/srv/blocker/node TARNE_DIRECTORY=$location tarne-admin init 2>&1; echo status \$?")
check "a failed init on a cluster says so and removes what it created" \
  has "cannot make the folder /srv/blocker: Not a directory" "$out"
check "... and exits 1" has "status 1" "$out"
check "... and says it removed the directory it created" has "was removed again" "$out"
check "... so that the next init creates the directory rather than joining it" \
  has "$location: created; node file /etc/tarne/node" \
  "$(inroot "TARNE_DIRECTORY=$location tarne-admin init --self $self --cluster ca000000-0000-4000-8000-00000000d0c1")"
check "the node file is root's, mode 600, and records the location" \
  has "600 root /etc/tarne/node
directory $location" "$(inroot 'stat -c "%a %U %n" /etc/tarne/node && grep ^directory /etc/tarne/node')"
check "tarne-tool add without TARNE_DIRECTORY goes to the recorded cluster" \
  inroot "printf 'first disk' | tarne-tool add -u 2b3c4d5e-6f70-4182-93a4-00000000d0c1 -t 18"
check "tarne-tool find lists it" has "2b3c4d5e-6f70-4182-93a4-00000000d0c1" "$(inroot 'tarne-tool find -t 18 -f json')"
check "TARNE_DIRECTORY still comes first" \
  has "directory: /var/lib/tarne/directory.db" \
  "$(inroot 'TARNE_DIRECTORY=/var/lib/tarne/directory.db tarne-admin info')"
check "tarne-admin dump with the default header path makes /scratch/log" \
  has "dumped 1 entries to /root/d.dump, header /scratch/log/tarne.dump.hdr" \
  "$(inroot 'tarne-admin dump --output /root/d.dump')"
check "tarne-tool readdump reads it" has "2b3c4d5e-6f70-4182-93a4-00000000d0c1" \
  "$(inroot 'tarne-tool readdump -d /root/d.dump -f json')"

out=$(inroot "apt-get purge -y -q tarne-tool tarne-admin tarne-directory-cluster tarne-libraries 2>&1")
check "purge says it keeps the directory's data" has "kept /var/lib/tarne" "$out"
check "... and the node file" has "kept /etc/tarne" "$out"
check "... and keeps them" inroot "test -s /var/lib/tarne/directory.db && test -s /etc/tarne/node"
check "... and removes the programs" inroot "! command -v tarne-tool && ! test -e /usr/lib/tarne"

echo "== $checks checks, $failed failed"
[ "$failed" = 0 ]
