#!/usr/bin/env bash
# Sets up a fresh machine, builds the desktop program and starts it on the demo data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target teravox2
export TERAVOX_HOME="${TERAVOX_HOME:-$PWD/build/demo-home}"
exec build/release/app/teravox2 --demo "$@"
