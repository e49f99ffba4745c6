#!/usr/bin/env bash
# Takes the screenshots of docs/ under Xvfb: the main window on the demo set in each chart view (the
# Resolution view of a standard and an optimised design too, and the optimiser at work) and
# with the hover readout, the sequence dialogs and tables, the whole set on one chart, the cable editor
# and the dial directory, and a 3D grid's plan and one of its lines.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target teravox2 teravox2-dialogshots teravox2-cableshots teravox2-chartshots
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
TERAVOX_HOME="$home" TERAVOX_SETTINGS="$home/settings.ini" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  build/release/app/teravox2 --set "$home/Sequence/Demo" --screenshots docs
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  build/release/tests/dialogs/teravox2-dialogshots "$home" docs
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  build/release/tests/dialogs/teravox2-cableshots docs
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" \
  build/release/tests/charts/teravox2-chartshots docs
ls -l docs/*.png
