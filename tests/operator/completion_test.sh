#!/usr/bin/env bash
# The shell completions of tarne-tool and tarne-admin in a real bash and a real zsh: each row
# is a command line, the cursor at its end, and what completion offers there, sorted and on
# one line.
#   completion_test.sh BASH_COMPLETION_DIR ZSH_COMPLETION_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash_dir=$(cd "$1" && pwd) zsh_dir=$(cd "$2" && pwd)
for program in tarne-tool tarne-admin; do
  # shellcheck source=/dev/null
  source "$bash_dir/$program" || exit 1
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir dumps && touch dumps/one.dump dumps/other.gz 'dumps/with blank' node.conf

failed=0
for program in tarne-tool tarne-admin; do
  expected="complete -F _${program//-/_} $program"
  [[ $(complete -p "$program") == "$expected" ]] ||
    { echo "FAIL: not registered: $(complete -p "$program" 2>&1)"; failed=1; }
done

# bash_offers LINE: what bash completion offers for LINE; a line ending in a blank completes a
# new word. Words are split on blanks and on '=', as bash's COMP_WORDBREAKS does.
bash_offers() {
  local line=$1
  COMP_LINE=$line COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"${line//=/ = }"
  [[ $line == *' ' || $line == *'=' && ${COMP_WORDS[-1]} != '=' ]] && COMP_WORDS+=('')
  [[ $line == *'=' ]] && COMP_WORDS[-1]='='
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "_${COMP_WORDS[0]//-/_}" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" \
    "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

# check SHELL: compares what SHELL offers for each row of the table on standard input.
check() {
  local shell=$1 lines=() expected=() line want actual i
  while IFS='|' read -r line want; do
    [[ -z $line || $line == '#'* ]] && continue
    lines+=("$line") expected+=("$want")
  done
  local -a got=()
  if [[ $shell == bash ]]; then
    for line in "${lines[@]}"; do got+=("$(bash_offers "$line")"); done
  else
    mapfile -t got < <(printf '%s\n' "${lines[@]}" |
      timeout 120 zsh -f "$here/zsh_offers.zsh" "$zsh_dir" | LC_ALL=C sort_each_line)
  fi
  for i in "${!lines[@]}"; do
    actual=${got[i]-<nothing: zsh did not answer>}
    if [[ $actual != "${expected[i]}" ]]; then
      echo "FAIL: $shell: '${lines[i]}' offers '$actual', expected '${expected[i]}'"
      failed=1
    fi
  done
}
# zsh sorts in its own collation; the table is in bash's sort order.
sort_each_line() {
  local line
  while IFS= read -r line; do tr ' ' '\n' <<<"$line" | sort | paste -sd ' '; done
}

check bash <<'TABLE'
tarne-tool f|find
tarne-tool wait|wait waitdump waitformembership
tarne-tool |add amimember delete dump find readdump remoteFind wait waitdump waitformembership whoami
tarne-tool -t DI|DISCARDED_COMPONENTS DISK DISK_CAPACITY_TIER DISK_CAPACITY_TIER_STATUS DISK_DECOM_STATE DISK_INCOMING DISK_OUTGOING DISK_PERF_TIER DISK_PERF_TIER_STATUS DISK_STATUS DISK_USAGE
tarne-tool find --type=SUB|SUBNET SUB_CLUSTER SUB_CLUSTER_MEMBERSHIP
tarne-tool find -f |json python simple
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
tarne-admin |check compact dump help info init members put restore status upgrade
tarne-admin -|--help
tarne-admin help re|restore
tarne-admin init --|--ca --cert --cluster --directory --force --help --key --self
tarne-admin dump --o|--output
tarne-admin dump --output dumps/o|dumps/one.dump dumps/other.gz
tarne-admin restore --input=dumps/w|dumps/with blank
tarne-admin put --type NODE_F|NODE_FAULT_DOMAIN NODE_FITNESS
tarne-admin put --uuid 0 --owner OLVA_UUID_S|OLVA_UUID_SELF
tarne-admin members --cluster |OLVA_UUID_NULL OLVA_UUID_SELF
tarne-admin put --revision |
tarne-admin members --g|--generation
tarne-admin check |
tarne-admin frobnicate --|
TABLE

check zsh <<'TABLE'
tarne-tool f|find
tarne-tool |add amimember delete dump find readdump remoteFind wait waitdump waitformembership whoami
tarne-tool -t DISK_P|DISK_PERF_TIER DISK_PERF_TIER_STATUS
tarne-tool find --type=SUB|SUBNET SUB_CLUSTER SUB_CLUSTER_MEMBERSHIP
tarne-tool find -f |json python simple
tarne-tool readdump -d dumps/o|one.dump other.gz
tarne-tool find -o OLVA|OLVA_UUID_NULL OLVA_UUID_SELF
tarne-tool --c|--cluster --compact-output
tarne-tool find -t DISK |
tarne-tool -t find w|wait waitdump waitformembership whoami
tarne-admin help re|restore
tarne-admin init --|--ca --cert --cluster --directory --force --help --key --self
tarne-admin dump --output dumps/o|one.dump other.gz
tarne-admin restore --input=n|node.conf
tarne-admin put --type=NODE_F|NODE_FAULT_DOMAIN NODE_FITNESS
tarne-admin members --cluster |OLVA_UUID_NULL OLVA_UUID_SELF
tarne-admin put --revision |
tarne-admin frobnicate --|
TABLE
exit $failed
