#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Quick when all are present.
#   scripts/install-deps.sh [PACKAGE ...]   (given packages: those instead, as the fuzz build asks)
set -euo pipefail
packages=(g++ make cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev clang-format python3 dpkg-dev)
[ $# -gt 0 ] && packages=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
