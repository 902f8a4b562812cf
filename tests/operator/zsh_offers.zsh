# zsh zsh_offers.zsh FPATH_DIR: reads command lines, one a line, and prints for each, on one line,
# what zsh's completion offers with the cursor at the end of that line, sorted. The lines are
# typed, each followed by a tab, into one interactive zsh on a pseudo-terminal, where compinit
# loads the functions of FPATH_DIR; the matches that completion would add are written to a
# file instead, each completion's followed by a line "<done>".
zmodload zsh/zpty zsh/datetime || exit 1
local line chunk hits=$(mktemp) deadline count=0
local -a found
zpty -b comp zsh -f -i || exit 1
zpty -w comp "bindkey -e; fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D; hits=${(q)hits}"
zpty -w comp 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
  local -a matched; builtin compadd -O matched "$@"; (($#matched)) || return 1
  print -rl -- $matched >>$hits
}'
zpty -w comp 'comppostfuncs=(_offers_done); _offers_done() { print -r -- "<done>" >>$hits; comppostfuncs=(_offers_done) }'
while IFS= read -r line; do
  ((count++))
  # Type the line and a tab, then wait for the completion's end; ^U empties the line again.
  zpty -n -w comp "$line"$'\t'
  deadline=$((EPOCHREALTIME + 20))
  until [[ ${#${(M)${(f)"$(<$hits)"}:#<done>}} -ge $count ]]; do
    zpty -r -t comp chunk
    ((EPOCHREALTIME < deadline)) || { print -r -- "no completion ended for: $line" >&2; break; }
    sleep 0.01
  done
  zpty -n -w comp $'\C-u'
done
zpty -d comp
# One output line per input line: the matches between one "<done>" and the next.
found=("${(@f)$(<$hits)}")
rm -f $hits
local -a offered=()
for line in $found; do
  if [[ $line == '<done>' ]]; then
    print -r -- ${(o)offered}
    offered=()
  else
    offered+=($line)
  fi
done
