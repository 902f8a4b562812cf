#!/usr/bin/env bash
# Adds a few realistic entries to a new embedded directory, so that `find` shows some.
# Usage: scripts/sample-entries.sh PATH_OF_TARNE_ADMIN
set -euo pipefail
admin=$1
put() { "$admin" put "$@" >/dev/null; }

put --uuid 52a4e1c0-9a3b-4f6e-8d2c-1b7f0e9a5c31 --type HOSTNAME --flag 2 hostname=node-01.lab.example
put --uuid 6f1c2d3e-4b5a-4c6d-9e8f-0a1b2c3d4e5f --type DISK --flag 2 \
  capacity=500107862016 iops=20000 throughput=550000000 isSsd=true isAllFlash=true \
  devName=eui.0000000000000001 volumeName=vol-ssd-0 formatVersion=15
put --uuid 6f1c2d3e-4b5a-4c6d-9e8f-0a1b2c3d4e60 --type DISK --flag 2 \
  capacity=4000787030016 iops=180 throughput=210000000 isSsd=false \
  devName=eui.0000000000000002 volumeName=vol-hdd-0 formatVersion=15 \
  ssdUuid=6f1c2d3e-4b5a-4c6d-9e8f-0a1b2c3d4e5f
put --uuid 7a2b3c4d-5e6f-4a1b-8c2d-3e4f5a6b7c8d --type DISK_USAGE --flag 2 \
  capacityReserved=107374182400 numTotalComponents=412 physCapacityUsed=96636764160
put --uuid 8b3c4d5e-6f7a-4b2c-9d3e-4f5a6b7c8d9e --type NODE --flag 2 \
  majorVersionNum=8 minorVersionNum=3 numHuxOwnerServers=2
printf 'local symbol payload' |
  "$admin" put --uuid 9c4d5e6f-7a8b-4c3d-8e4f-5a6b7c8d9e0f --type LOCAL_SYMBOL >/dev/null
"$admin" members --cluster "$("$admin" info | awk '/^cluster:/ {print $2; exit}')" \
  "$("$admin" info | awk '/^self:/ {print $2; exit}')" >/dev/null
