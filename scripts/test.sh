#!/usr/bin/env bash
# Builds and runs the whole test suite twice: in the release preset and under
# AddressSanitizer + UndefinedBehaviorSanitizer. Any failure or sanitizer report fails it.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in release asan; do
  echo "=== $preset ==="
  scripts/setup.sh "$preset"
  ctest --preset "$preset"
done
