#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, the Windows cross-build
# and Wine included (run as root; skips what is already there).
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils
  libgtest-dev libgmock-dev libbenchmark-dev
  libuemf-dev libpng-dev
  libxpm-dev emf2svg x11-common netpbm
  libreoffice-draw-nogui libwmf-bin fonts-urw-base35 imagemagick libmagickcore-6.q16-6-extra
  pkg-config dpkg-dev file lintian abigail-tools
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
