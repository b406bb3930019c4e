#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Calvane need.
# Run as root; packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  libeigen3-dev libboost-math-dev libcminpack-dev
  fonts-ipafont-gothic
  xvfb xauth
  python3
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
