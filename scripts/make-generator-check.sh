#!/usr/bin/env bash
# Make, unlike Ninja, does not make the folder a build command writes into. Configures with
# the Unix Makefiles generator in a scratch folder and runs only the rules that write
# generated files (the manual pages, the shell completions, the packages' changelog), with
# the operator_files program borrowed from a finished build (default build/release), so
# that a missing folder shows without a second full build.
set -euo pipefail
cd "$(dirname "$0")/.."
built=$(realpath "${1:-build/release}")
[ -x "$built/bin/operator_files" ] || { echo "no $built/bin/operator_files: build first" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake -S . -B "$scratch" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release >"$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log" >&2; exit 1; }
mkdir -p "$scratch/bin"
cp -p "$built/bin/operator_files" "$scratch/bin/"
# A target's own rules only (build.make), not the programs it depends on (Makefile2).
for target in packaging/CMakeFiles/operator_pages.dir packaging/CMakeFiles/package_changelog.dir; do
  make -s -C "$scratch" -f "$target/build.make" "$target/build" >/dev/null
done
for file in share/man/man1/tarne-tool.1.gz share/man/man8/tarne-admin.8.gz \
  share/bash-completion/completions/tarne-tool share/bash-completion/completions/tarne-admin \
  share/zsh/vendor-completions/_tarne-tool share/zsh/vendor-completions/_tarne-admin \
  share/doc/changelog.gz; do
  [ -s "$scratch/$file" ] || { echo "Unix Makefiles build wrote no $file" >&2; exit 1; }
done
echo "Unix Makefiles: the generated files are written"
