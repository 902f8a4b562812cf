#!/usr/bin/env bash
# Builds the Debian packages in a Release build folder, unpacks them into a scratch root and
# runs the programs from there: without LD_LIBRARY_PATH they must find the packaged
# libraries, never the build tree's.
#   packages_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

rm -f "$build"/tarne-*.deb
cmake --build "$build" --target package >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; exit 1; }
root=$work/root
for package in tarne-tool tarne-libraries tarne-admin tarne-directory-cluster; do
  deb=$(ls "$build/${package}_"*.deb 2>/dev/null) || { fail "no $package package"; continue; }
  dpkg-deb -x "$deb" "$root"
  depends=$(dpkg-deb -f "$deb" Depends)
  [[ $depends == *libc6* ]] || fail "$package declares no system libraries: $depends"
  if [[ $package != tarne-libraries && $depends != *"tarne-libraries (= "* ]]; then
    fail "$package does not depend on tarne-libraries: $depends"
  fi
  # Only the cluster backend's package pulls gRPC, protobuf and abseil.
  heavy=$(grep -oE 'libgrpc[^ ,]*|libprotobuf[^ ,]*|libabsl[^ ,]*' <<<"$depends")
  if [[ $package == tarne-directory-cluster ]]; then
    [[ -n $heavy ]] || fail "$package declares no gRPC: $depends"
  elif [[ -n $heavy ]]; then
    fail "$package pulls $heavy"
  fi
done
# The backend lies beside the library, where the library looks for it.
for file in libolvalib.so libtarne_etcd_backend.so libtarne_etcd_protocol.so; do
  [ -f "$root/usr/lib/tarne/$file" ] || fail "no /usr/lib/tarne/$file"
done
for program in tarne-tool tarne-admin; do
  [ -f "$root/usr/share/bash-completion/completions/$program" ] || fail "no bash completion of $program"
  [ -f "$root/usr/share/zsh/vendor-completions/_$program" ] || fail "no zsh completion of $program"
done
# The host's folders, root's and 0755, in the package every program needs; each package's
# copyright and changelog; a postrm that tells what a purge keeps.
libraries=$(ls "$build"/tarne-libraries_*.deb)
contents=$(dpkg-deb -c "$libraries")
for folder in etc/tarne var/lib/tarne; do
  grep -q "^drwxr-xr-x root/root .* \./$folder/\$" <<<"$contents" ||
    fail "tarne-libraries does not ship /$folder, root's, mode 0755"
done
for package in tarne-tool tarne-libraries tarne-admin tarne-directory-cluster; do
  [ -s "$root/usr/share/doc/$package/copyright" ] || fail "$package has no copyright file"
  zcat "$root/usr/share/doc/$package/changelog.gz" 2>/dev/null | head -1 | grep -q '^tarne (' ||
    fail "$package has no changelog.gz"
done
dpkg-deb -e "$libraries" "$work/control"
[ -x "$work/control/postrm" ] && grep -q 'purge' "$work/control/postrm" ||
  fail "tarne-libraries has no postrm that speaks of purge"
for page in man1/tarne-tool.1.gz man8/tarne-admin.8.gz; do
  zcat "$root/usr/share/man/$page" | groff -man -ww -Tutf8 -z 2>"$work/groff" &&
    [ ! -s "$work/groff" ] || fail "$page does not render cleanly: $(cat "$work/groff")"
done

# run PROGRAM ARGS...: the unpacked program with nothing from the build tree in reach.
run() { env -u LD_LIBRARY_PATH TARNE_DIRECTORY="$work/directory.db" "$root/usr/$@"; }
for program in bin/tarne-tool sbin/tarne-admin; do
  libraries=$(env -u LD_LIBRARY_PATH ldd "$root/usr/$program")
  grep -q "libolvalib.so => $root/usr/s\?bin/../lib/tarne/libolvalib.so" <<<"$libraries" ||
    fail "$program does not load the packaged library: $libraries"
done
for object in lib/tarne/libolvalib.so sbin/tarne-admin bin/tarne-tool; do
  libraries=$(env -u LD_LIBRARY_PATH ldd "$root/usr/$object")
  ! grep -E 'grpc|protobuf|absl' <<<"$libraries" || fail "$object links gRPC"
done
self=1e2d3c4b-5a69-4788-97a6-b5c4d3e2f100
cluster=7a6b5c4d-3e2f-4101-9f8e-7d6c5b4a3928
run sbin/tarne-admin init --self $self --cluster $cluster || fail "init failed"
run sbin/tarne-admin put --uuid 2b3c4d5e-6f70-4182-93a4-b5c6d7e8f901 --type DISK \
  --flag 2 capacity=1000 </dev/null || fail "put failed"
[[ $(run bin/tarne-tool whoami) == *"$self"* ]] || fail "whoami does not print $self"
listing=$(run bin/tarne-tool find -t DISK -f json -c)
[[ $listing == *'"capacity":1000,'* ]] ||
  fail "find does not list the disk: $listing"
exit $failed
