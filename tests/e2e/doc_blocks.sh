# shellcheck shell=bash
# Sourced by the cases that run a page's command blocks. doc_blocks PAGE LABEL prints, as one
# script, every block of PAGE fenced ```sh or ```bash, in order, each after a line that echoes
# "## LABEL N". A block fenced ```bash on-host needs a real host (systemd, a Debian unit, other
# machines): it is not run, and the next block, which must be a ```sh or ```bash block, is its
# equivalent on this machine; the script fails at once when that block is missing. Blocks with
# any other fence (files, sample output) are text.
doc_blocks() {
  awk -v label="$2" '
    function missing() {
      printf "echo \"%s: the on-host block before line %d has no equivalent\" >&2; exit 99\n",
        FILENAME, NR
      pending = 0
    }
    inside == 0 && /^```/ {
      kind = substr($0, 4)
      if (kind == "sh" || kind == "bash") {
        inside = 1; pending = 0; n++
        print "echo \"## " label " " n "\""
      } else {
        if (pending) missing()
        inside = 2
        if (kind == "bash on-host") pending = 1
      }
      next
    }
    inside != 0 && /^```$/ { inside = 0; next }
    inside == 1
    END { if (pending) missing() }' "$1"
}
