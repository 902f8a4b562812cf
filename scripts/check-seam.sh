#!/bin/bash
# Keeps the directory's backends in their own folders: the seam (platform/olvalib/directory/)
# speaks of matches, key orders and ranges, SQLite stays in directory/sqlite/, gRPC and
# OpenSSL in directory/etcd/. Reads the sources only; prints each breach and fails on any.
# Usage: check-seam.sh [SOURCE_ROOT]
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
lib=platform/olvalib
dir=$lib/directory
failures=0

breach() {
  echo "check-seam: $*"
  failures=$((failures + 1))
}

# What FILE includes directly, one per line: a project header as its path, anything else as
# written between the quotes or brackets. A quoted name is looked up beside the including file,
# then under platform/olvalib and src (the project's includes name no "..", so the paths need no
# normalising). Each file is read once for the whole run: the closures share its headers.
declare -A direct_includes=()
read_includes() {
  local file=$1 base=${1%/*} line name found candidate list=""
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      name=${BASH_REMATCH[1]}
      found=$name
      for candidate in "$base/$name" "$lib/$name" "src/$name"; do
        if [[ -f $candidate ]]; then
          found=${candidate#./}
          break
        fi
      done
    elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
      found="<${BASH_REMATCH[1]}>"
    else
      continue
    fi
    list+="$found"$'\n'
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file")
  direct_includes[$file]=$list
}

# Sets reached to everything FILE includes, directly or through the project's own headers, one
# per line (in this shell, not a subshell, so that the files read stay cached).
reached=""
closure() {
  reached=""
  local -A seen=()
  local queue=("$1") file found
  while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    [[ -n ${direct_includes[$file]+set} ]] || read_includes "$file"
    while IFS= read -r found; do
      [[ -z $found || -n ${seen[$found]:-} ]] && continue
      seen[$found]=1
      reached+="$found"$'\n'
      [[ -f $found ]] && queue+=("$found")
    done <<<"${direct_includes[$file]}"
  done
}

# reaches FILE PATTERN WHAT: FILE must not include anything that matches PATTERN.
reaches() {
  local hits=() found
  closure "$1"
  while IFS= read -r found; do
    [[ -n $found && $found =~ $2 ]] && hits+=("$found")
  done <<<"$reached"
  ((${#hits[@]} == 0)) || breach "$1 reaches $3:" "${hits[@]}"
}

sqlite_headers='(^|/)(query_plan|directory_schema|sqlite_connection|sqlite_store|entry_store)\.h$|<sqlite3\.h>|/sqlite/'
cluster_headers='<grpc|<openssl/|^etcd/etcdserver|/etcd/'

# The seam's headers and the C boundary's sources name no backend.
for file in "$dir"/*.h "$lib"/*.cpp; do
  reaches "$file" "$sqlite_headers" "the SQLite store"
  reaches "$file" "$cluster_headers" "the etcd store"
done
# The etcd store reaches nothing of SQLite's.
for file in "$dir"/etcd/*.h; do
  reaches "$file" "$sqlite_headers" "the SQLite store"
done

# No product source outside its backend's folder includes SQLite, gRPC or OpenSSL.
while IFS= read -r hit; do
  breach "includes SQLite outside $dir/sqlite/: $hit"
done < <(grep -rnE '#[[:space:]]*include[[:space:]]*<sqlite3\.h>' platform src packaging |
  grep -v "^$dir/sqlite/")
while IFS= read -r hit; do
  breach "includes gRPC or OpenSSL outside $dir/etcd/: $hit"
done < <(grep -rnE '#[[:space:]]*include[[:space:]]*(<grpc|<openssl/|"etcd/etcdserver)' \
  platform src packaging | grep -v "^$dir/etcd/\|^$lib/etcd_protocol/")

# The etcd store lives in a shared object of its own, loaded by the backend table: nothing
# else of the product names its headers.
while IFS= read -r hit; do
  breach "includes the etcd store outside $dir/etcd/: $hit"
done < <(grep -rnE '#[[:space:]]*include[[:space:]]*"(directory/)?etcd/' platform src packaging |
  grep -v "^$dir/etcd/")

# tarne-admin goes through the backends' records (directory_backend.h): none of its files
# reaches a backend's headers.
for file in platform/admin/*.h platform/admin/*.cpp; do
  reaches "$file" "$sqlite_headers" "the SQLite store"
  reaches "$file" "$cluster_headers" "the etcd store"
done

# No SQL outside the SQLite store: a string that opens with a statement's first words, or a
# call of SQLite's own functions.
sql='"[[:space:]]*(SELECT|INSERT|UPDATE|DELETE|REPLACE|CREATE|DROP|ALTER|PRAGMA|BEGIN|COMMIT|ROLLBACK|VACUUM|WITH)[[:space:]]|\bsqlite3_[a-z_]+[[:space:]]*\('
while IFS= read -r hit; do
  breach "SQL outside $dir/sqlite/: $hit"
done < <(grep -rnE "$sql" --include='*.h' --include='*.cpp' platform src packaging |
  grep -v "^$dir/sqlite/")

if ((failures)); then
  echo "check-seam: $failures breach(es)"
  exit 1
fi
exit 0
