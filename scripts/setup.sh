#!/usr/bin/env bash
# Installs the Debian packages the project needs (when missing) and builds one preset.
# Usage: scripts/setup.sh [preset]   (default: release)
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-release}
packages=(build-essential cmake ninja-build pkg-config
          libsqlite3-dev zlib1g-dev libisal-dev libgtest-dev libgmock-dev libbenchmark-dev
          nlohmann-json3-dev clang libclang-rt-14-dev python3 groff-base dpkg-dev jq procps openssl zsh
          libssl-dev
          etcd-server etcd-client libgrpc++-dev protobuf-compiler-grpc golang-etcd-server-dev
          golang-github-gogo-protobuf-dev golang-github-grpc-ecosystem-grpc-gateway-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
