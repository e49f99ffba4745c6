#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test: the dev suite, the fuzz smoke, then
# the same suite built with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# A file that differs from .clang-format fails the run before anything is built.
bash scripts/check-format.sh
# The dev and asan presets build with TERAVOX_WERROR: a warning fails the run. Their test presets set
# the jobs, the time-outs and the output on failure.
cmake --preset dev >/dev/null
cmake --build --preset dev
if [ -x scripts/fuzz-smoke.sh ]; then bash scripts/fuzz-smoke.sh; fi
ctest --preset dev
# The sanitizers find what a passing suite hides (a read past a buffer, a null pointer handed to
# memcpy); two build jobs, as every preset builds with.
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
