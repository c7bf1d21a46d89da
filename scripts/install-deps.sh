#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Korvalith.
# Run as root. Skips apt entirely when everything is already installed.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config binutils
  libopenjp2-7-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libstb-dev libtinyobjloader-dev
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
