#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs the readdump fuzzer for a
# bounded time. A crash, a leak, a hang or memory growth fails the run and leaves the input
# that caused it under BUILD_DIR/fuzz-artifacts/.
# Usage: scripts/fuzz.sh [SECONDS [BUILD_DIR]]   (defaults: 60, build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${2:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target readdump_fuzzer -j "$(nproc)"

# New inputs go to a scratch corpus; the checked-in seeds stay as they are.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/fuzz-artifacts"
# -malloc_limit_mb: the reader asks once for an entry's whole claimed size (up to 4 GiB) and
# gives it back untouched (see fuzz/readdump_fuzzer.cpp); -rss_limit_mb keeps its default and
# catches memory that is really used.
"$build/bin/readdump_fuzzer" "$scratch" fuzz/corpus/readdump \
  -max_total_time="$seconds" -timeout=10 -malloc_limit_mb=4200 -print_final_stats=1 \
  -artifact_prefix="$build/fuzz-artifacts/"
