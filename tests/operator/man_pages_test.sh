#!/usr/bin/env bash
# The manual pages render without a warning, and the generator refuses a page that has
# drifted from the tables it is generated from.
#   man_pages_test.sh OPERATOR_FILES SOURCE_DIR MAN_DIR
set -uo pipefail
generator=$1 source_dir=$2 man_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for page in "$man_dir/man1/tarne-tool.1" "$man_dir/man8/tarne-admin.8"; do
  warnings=$(groff -man -ww -Tutf8 -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
done

# expect_refusal KIND TEMPLATE SED_SCRIPT MESSAGE: the edited template is refused with MESSAGE.
expect_refusal() {
  local kind=$1 template=$2 edit=$3 message=$4
  sed "$edit" "$source_dir/packaging/$template" >"$work/page.in"
  if "$generator" "man-$kind" 1.0 "$work/page.in" "$work/page" 2>"$work/err"; then
    fail "$template edited by '$edit' was accepted"
  elif ! grep -qF -- "$message" "$work/err"; then
    fail "$template edited by '$edit': expected '$message', got: $(cat "$work/err")"
  fi
}
expect_refusal tool tarne-tool.1.in '/@command find$/d' 'where the table has command find'
expect_refusal tool tarne-tool.1.in '/@option a$/d' 'no paragraph for option a'
expect_refusal tool tarne-tool.1.in 's/@command readdump$/@command readDump/' \
  "the template's command readDump where the table has command readdump"
expect_refusal tool tarne-tool.1.in 's/@VERSION@/@VERSOIN@/' 'unknown variable @VERSOIN@'
expect_refusal admin tarne-admin.8.in 's/^\.BR \\-\\-force ,$/it,/' \
  'the paragraph of command init does not explain \-\-force'
exit $failed
