#!/usr/bin/env bash
# Shows that the test suite catches real faults. Copies the committed tree to a scratch
# folder, builds the release preset once and checks that the suite passes there; then, for
# each deliberate fault under scripts/faults/ (one small patch each), applies it, rebuilds,
# runs the release suite and reverts it. A fault is CAUGHT when the suite fails, MISSED when
# it passes. Exits non-zero when any fault is missed, does not apply or does not build.
# The tests of the fault's area run first, and a run stops at its first failing test: a
# caught fault costs its rebuild and a few tests, a missed one the whole suite.
#
#   scripts/fault-check.sh [NAME...]   (names of scripts/faults/NAME.patch; default: all)
#   TMPDIR=FOLDER scripts/fault-check.sh   (where the scratch copy goes; default /tmp)
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/fault-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"  # some cases run the built programs as another user
git -C "$repo" archive HEAD | tar -x -C "$scratch"
cd "$scratch" || exit 2

faults=()
if (($#)); then
  for name in "$@"; do faults+=("scripts/faults/${name%.patch}.patch"); done
else
  faults=(scripts/faults/*.patch)
fi

# Unit tests have no time limit of their own; a fault that loses a completion must not hang.
run_suite() { ctest --preset release --timeout 120 "${@:2}" >"$1" 2>&1; }
# The tests most likely to catch a fault, by the area its name starts with.
likely_tests() {
  case $1 in
    cli-*) echo '^e2e\.(cli|membership|find_query|delete_all)|CommandLine' ;;
    content-*) echo 'Convert|^e2e\.(find|fake_find)' ;;
    dump-*) echo 'Dump|^e2e\.readdump' ;;
    etcd-*) echo 'Etcd|OnACluster' ;;
    olva-*) echo 'Converter|FieldCodec|Sqlite|Lookup' ;;
    output-*) echo 'Printer|Output|^e2e\.(find|remotefind)' ;;
    update-*) echo 'CompletionWaiter|^e2e\.(add|delete)' ;;
    *) echo '^$' ;;
  esac
}
# The first few failing tests of a ctest log, comma-separated.
failing_tests() {
  sed -n '/The following tests FAILED:/,$p' "$1" | sed -En 's/^\s*[0-9]+ - (\S+) .*/\1/p' |
    head -n 4 | paste -sd, - | sed 's/,/, /g'
}

echo "Building the committed tree in $scratch ..."
cmake --preset release >/dev/null &&
  cmake --build --preset release >build.log 2>&1 || {
  tail -n 30 build.log
  echo "the committed tree does not build" >&2
  exit 2
}
run_suite suite.log || {
  sed -n '/The following tests FAILED:/,$p' suite.log
  echo "the suite fails without any fault: nothing can be concluded" >&2
  exit 2
}

results=()
caught=0
bad=0
for fault in "${faults[@]}"; do
  name=$(basename "$fault" .patch)
  if ! patch -p1 --no-backup-if-mismatch --forward -s <"$fault" >patch.log 2>&1; then
    results+=("NOT APPLIED  $name: $(head -n 1 patch.log)")
    bad=$((bad + 1))
    # A partly applied patch leaves rejects behind: restore the tree from the archive.
    git -C "$repo" archive HEAD | tar -x -C "$scratch"
    find . -name '*.rej' -delete
    continue
  fi
  started=$SECONDS
  if ! cmake --build --preset release >build.log 2>&1; then
    results+=("NO BUILD     $name: $(grep -m 1 'error' build.log)")
    bad=$((bad + 1))
  elif ! run_suite "$name.log" -R "$(likely_tests "$name")" --no-tests=ignore --stop-on-failure; then
    results+=("CAUGHT       $name ($(failing_tests "$name.log"))")
    caught=$((caught + 1))
  elif run_suite "$name.log" --stop-on-failure; then
    results+=("MISSED       $name")
    bad=$((bad + 1))
  else
    results+=("CAUGHT       $name ($(failing_tests "$name.log"))")
    caught=$((caught + 1))
  fi
  echo "${results[-1]}  [$((SECONDS - started)) s]"
  patch -p1 -R --no-backup-if-mismatch -s <"$fault" || exit 2
done

echo
echo "=== summary"
printf '%s\n' "${results[@]}"
echo "faults: ${#faults[@]}, caught: $caught, missed or not checked: $bad"
((bad == 0))
