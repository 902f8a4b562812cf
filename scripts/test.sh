#!/usr/bin/env bash
# Builds and runs the whole test suite twice, in the release preset and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the concurrent parts (the completion
# waiter, the directory, the commands whose requests complete on library threads) under
# ThreadSanitizer, checks that the Unix Makefiles generator writes the generated files too,
# and fuzzes the dump reader for a minute. Any failure or sanitizer report fails it.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() { echo "=== $1 ($SECONDS s so far)"; }

for preset in release asan; do
  phase "$preset"
  scripts/setup.sh "$preset"
  ctest --preset "$preset"
done

# The tsan test preset runs the tests labelled concurrent only: it builds what they run and
# no more (no converter, unit or fake-library tests, no operator files).
phase tsan
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target concurrency_tests dump_tests olvalib_tests \
  olvalib_test_writer tarne-tool tarne-admin fake_olvalib
ctest --preset tsan

phase "Unix Makefiles"
scripts/make-generator-check.sh build/release

phase "fuzz (60 s)"
scripts/fuzz.sh 60
phase done
