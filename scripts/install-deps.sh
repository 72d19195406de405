#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the demo and the Debian package need
# (skips what is there).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qtkeychain-qt6-dev libgl-dev
          libhidapi-dev libusb-1.0-0-dev libzip-dev libpng-dev unzip zlib1g-dev libgtest-dev googletest tzdata
          xvfb xauth python3 unrtf dbus at-spi2-core python3-pyatspi clang libclang-rt-14-dev valgrind
          dpkg-dev file lintian desktop-file-utils man-db haproxy)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
