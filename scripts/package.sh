#!/usr/bin/env bash
# Installs what is missing, builds everything and makes the Debian package in build/
# (vxktool_VERSION-1_ARCH.deb), then lists lintian's remarks on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && cpack -G DEB)
deb=$(ls -t build/vxktool_*.deb | head -n1)
echo "package.sh: wrote $deb"
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package.sh: install it with: sudo apt install ./$deb"
