#!/usr/bin/env bash
# Builds and runs the whole test suite twice, in the release preset and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the concurrent parts (the completion
# waiter, the directory, the commands whose requests complete on library threads) under
# ThreadSanitizer, checks that the Unix Makefiles generator writes the generated files too,
# and fuzzes the dump reader for a minute. Any failure or sanitizer report fails it.
#
# A suite spends most of its time waiting on etcd members and child processes, so the release
# and asan suites run beside the next build rather than after it: its output goes to a log that is printed
# when the suite ends, and the script fails then if the suite failed.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() { echo "=== $1 ($SECONDS s so far)"; }

logs=$(mktemp -d)
suite_pid=
suite_name=
# On a failure elsewhere a running suite still ends on its own, so that it stops the etcd
# members it started, and its log is printed too.
cleanup() {
  [ -z "$suite_pid" ] || finish_suite || true
  rm -rf "$logs"
}
trap cleanup EXIT

# Starts ctest with the test preset $1 in the background.
start_suite() {
  suite_name=$1
  echo "--- suite $suite_name started ($SECONDS s so far)"
  ctest --preset "$suite_name" >"$logs/$suite_name" 2>&1 &
  suite_pid=$!
}

# Waits for the suite in the background, prints its log, and fails if it failed.
finish_suite() {
  local status=0
  wait "$suite_pid" || status=$?
  suite_pid=
  phase "suite $suite_name ended with status $status"
  cat "$logs/$suite_name"
  return "$status"
}

phase "release build"
scripts/setup.sh release
start_suite release

phase "asan build"
scripts/setup.sh asan
finish_suite
start_suite asan

# The tsan test preset runs the tests labelled concurrent only: it builds what they run and
# no more (no converter, unit, cluster or fake-library tests, no operator files).
phase "tsan build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target concurrency_tests dump_tests olvalib_tests \
  olvalib_test_writer tarne-tool tarne-admin fake_olvalib

phase "Unix Makefiles"
scripts/make-generator-check.sh build/release

phase "fuzz (60 s)"
scripts/fuzz.sh 60
finish_suite

# The tsan suite runs alone: beside the fuzzing, its 20 s completion waits did not hold.
phase "tsan suite"
ctest --preset tsan
phase "done"
