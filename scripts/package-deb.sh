#!/usr/bin/env bash
# Builds the Debian package (build/package/teravox2_<version>_<arch>.deb) from a release build
# without tests or benchmarks, then checks it with lintian. Install it with
#   sudo apt-get install ./build/package/teravox2_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset package >/dev/null
cmake --build --preset package
cpack --preset deb
deb=$(ls build/package/teravox2_*.deb)
dpkg-deb --info "$deb" | sed -n '/^ new Debian package/,$p' | grep -v '^ *[0-9]* bytes'
lintian --info "$deb"
echo "package: $deb"
