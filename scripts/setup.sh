#!/usr/bin/env bash
# Installs, only where missing, every Debian package the project builds, tests and runs with.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libqt6svg6 qt6-qpa-plugins
  libqcustomplot-dev libqcustomplot2.1-qt6
  libftdi1-dev libudev-dev
  libcli11-dev nlohmann-json3-dev
  libeigen3-dev libopenblas-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format-14 clang-tidy-14
  xvfb xauth x11-utils fonts-dejavu-core
  help2man librsvg2-bin dpkg-dev file desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
