#!/usr/bin/env bash
# Adds a few realistic entries to a new embedded directory, so that `find` shows some.
# Usage: scripts/sample-entries.sh PATH_OF_TARNE_ADMIN
set -euo pipefail
admin=$1
"$admin" put --uuid 52a4e1c0-9a3b-4f6e-8d2c-1b7f0e9a5c31 --owner OLVA_UUID_SELF --type 29 \
  </dev/null
