#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz preset, clang) and runs each one briefly over its seed corpus.
# New inputs go to a scratch folder; the checked-in corpora stay as they are. Fails on any crash,
# leak or undefined behaviour.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for reader in sqx cbl segments text v1 inversion replies; do
  mkdir -p "$scratch/$reader"
  echo "fuzz-smoke: $reader"
  # -runs bounds the work, -max_total_time the wall time on a slow machine.
  set +e
  timeout 120 "build/fuzz/fuzz/fuzz_$reader" -runs=20000 -max_total_time=10 -max_len=8192 \
    -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch/$reader" "fuzz/corpus/$reader" \
    >"$scratch/$reader.log" 2>&1
  status=$?
  set -e
  grep -E '^stat::number_of_executed_units' "$scratch/$reader.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$scratch/$reader.log" >&2
    echo "fuzz-smoke: fuzz_$reader failed (status $status)" >&2
    exit 1
  fi
done
echo "fuzz-smoke: all harnesses passed"
