#!/usr/bin/env bash
# tarne-tool's bash completion in a real bash: each row is a command line, the cursor at its
# end, and what completion offers there, sorted and on one line.
#   completion_test.sh COMPLETION_FILE
set -uo pipefail
# shellcheck source=/dev/null
source "$1" || exit 1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir dumps && touch dumps/one.dump dumps/other.gz 'dumps/with blank'

[[ $(complete -p tarne-tool) == "complete -F _tarne_tool tarne-tool" ]] ||
  { echo "FAIL: not registered: $(complete -p tarne-tool 2>&1)"; exit 1; }

# offers LINE: what completion offers for LINE; a line ending in a blank completes a new word.
# Words are split on blanks and on '=', as bash's COMP_WORDBREAKS does.
offers() {
  local line=$1
  COMP_LINE=$line COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"${line//=/ = }"
  [[ $line == *' ' || $line == *'=' && ${COMP_WORDS[-1]} != '=' ]] && COMP_WORDS+=('')
  [[ $line == *'=' ]] && COMP_WORDS[-1]='='
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tarne_tool tarne-tool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

failed=0
while IFS='|' read -r line expected; do
  [[ -z $line || $line == '#'* ]] && continue
  actual=$(offers "$line")
  if [[ $actual != "$expected" ]]; then
    echo "FAIL: '$line' offers '$actual', expected '$expected'"
    failed=1
  fi
done <<'TABLE'
tarne-tool f|find
tarne-tool wait|wait waitdump waitformembership
tarne-tool |add amimember delete dump find readdump remoteFind wait waitdump waitformembership whoami
tarne-tool -t DI|DISCARDED_COMPONENTS DISK DISK_CAPACITY_TIER DISK_CAPACITY_TIER_STATUS DISK_DECOM_STATE DISK_INCOMING DISK_OUTGOING DISK_PERF_TIER DISK_PERF_TIER_STATUS DISK_STATUS DISK_USAGE
tarne-tool find --type=LOCAL|LOCAL_SYMBOL
tarne-tool find --type=SUB|SUBNET SUB_CLUSTER SUB_CLUSTER_MEMBERSHIP
tarne-tool find -f |json python simple
tarne-tool find --format=p|python
tarne-tool find --format=|json python simple
tarne-tool readdump -d dumps/o|dumps/one.dump dumps/other.gz
tarne-tool readdump --dumpfile dumps/w|dumps/with blank
tarne-tool find -o OLVA|OLVA_UUID_NULL OLVA_UUID_SELF
tarne-tool find -i |
tarne-tool --c|--cluster --compact-output
tarne-tool find --p|--print-dump-hdr
tarne-tool find -t DISK |
tarne-tool -t find w|wait waitdump waitformembership whoami
tarne-tool -f json r|readdump remoteFind
TABLE
exit $failed
