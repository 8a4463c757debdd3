#!/usr/bin/env bash
# Installs what building, running and testing the lens need, from Debian's packages.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev libgl-dev
  libx11-dev libxtst-dev libxext-dev libxcb1-dev libxcb-shm0-dev
  libgtest-dev libbenchmark-dev
  xvfb openbox xdotool x11-utils xdg-utils netpbm fonts-dejavu-core fonts-liberation2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
