#!/usr/bin/env bash
# Takes the screenshots of docs/ of the cable editor, the segment dialog and the dial directory under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset dev >/dev/null
cmake --build --preset dev --target teravox2-dialogshots
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" build/dev/tests/dialogs/teravox2-dialogshots docs
ls -l docs/cable-editor.png docs/segment-dialog.png docs/dial-directory.png
