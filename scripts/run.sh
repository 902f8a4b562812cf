#!/usr/bin/env bash
# Sets everything up, creates the directory (on a cluster: this host's node file, and the
# directory when the cluster holds none) when there is none, fills an empty one with a few
# sample entries, and runs the tool's main job against it: `tarne-tool find`.
# Usage: scripts/run.sh [tarne-tool arguments...]   (default: find)
# Standard output carries the tool's own output alone; everything else goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh release >&2
bin=build/release/bin
export TARNE_DIRECTORY=${TARNE_DIRECTORY:-/var/lib/tarne/directory.db}

case $TARNE_DIRECTORY in
  etcd://* | etcds://*)
    # A shared directory: this host needs its node file; init creates the directory in the
    # cluster too, or joins the one already there.
    node=${TARNE_NODE:-/etc/tarne/node}
    if [ ! -e "$node" ]; then
      echo "Creating this host's node file $node" >&2
      "$bin/tarne-admin" init >&2
    fi
    ;;
  *)
    if [ ! -e "$TARNE_DIRECTORY" ]; then
      parent=$(dirname "$TARNE_DIRECTORY")
      if ! mkdir -p "$parent" 2>/dev/null || [ ! -w "$parent" ]; then
        sudo install -d -o "$(id -u)" -g "$(id -g)" -m 0755 "$parent"
      fi
      echo "Creating the embedded directory $TARNE_DIRECTORY" >&2
      "$bin/tarne-admin" init >&2
    fi
    ;;
esac
if "$bin/tarne-admin" info | grep -qx 'entries: 0'; then
  echo "Adding a few sample entries to the empty directory" >&2
  scripts/sample-entries.sh "$bin/tarne-admin" >&2
fi

(($#)) || set -- find
exec "$bin/tarne-tool" "$@"
