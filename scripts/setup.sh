#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages) and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libxml2-dev libcurl4-openssl-dev libssl-dev
          libcpp-httplib-dev libcli11-dev googletest libgtest-dev libbenchmark-dev
          openssl ca-certificates curl time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-}
cmake --build build -j"$(nproc)"
