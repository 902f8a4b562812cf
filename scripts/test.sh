#!/usr/bin/env bash
# Builds and runs the whole test suite twice, in the release preset and under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the concurrent parts (the completion
# waiter, the directory, the commands whose requests complete on library threads) under
# ThreadSanitizer, checks that the Unix Makefiles generator writes the generated files too,
# and fuzzes the dump reader for a minute. Any failure or sanitizer report fails it.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in release asan tsan; do
  echo "=== $preset ==="
  scripts/setup.sh "$preset"
  ctest --preset "$preset"
done

echo "=== Unix Makefiles ==="
scripts/make-generator-check.sh build/release

echo "=== fuzz (60 s) ==="
scripts/fuzz.sh 60
