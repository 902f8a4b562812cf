#!/usr/bin/env bash
# Rewrites the expected files of the named cases (or of all cases) from a build's output.
# Read the diff before committing.   update_golden.sh BUILD_DIR [CASE...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd); shift
export TARNE_TOOL=$build/bin/tarne-tool TARNE_ADMIN=$build/bin/tarne-admin TARNE_FAKE_LIBDIR=$build/fake
cases=("$@")
((${#cases[@]})) || cases=("$here"/cases/*/)
for c in "${cases[@]}"; do
  [ -d "$c" ] || c="$here/cases/$c"
  "$here/run_case.sh" --update "$c"
done
