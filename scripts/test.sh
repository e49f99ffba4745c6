#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
if [ -x scripts/fuzz-smoke.sh ]; then bash scripts/fuzz-smoke.sh; fi
ctest --test-dir build/dev --output-on-failure -j2 --timeout 600
