#!/usr/bin/env bash
# Takes the screenshots of docs/: the main window on the demo set under Xvfb, in each chart view.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target teravox2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
TERAVOX_HOME="$home" TERAVOX_SETTINGS="$home/settings.ini" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  build/release/app/teravox2 --set "$home/Sequence/Demo" --screenshots docs
ls -l docs/main-*.png
