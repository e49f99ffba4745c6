#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the sources of the dev build's compile database and prints its
# findings; exits non-zero when there are any. Not part of CI: a whole run takes many minutes.
# Usage: scripts/tidy.sh [PATH-REGEX...]   e.g. scripts/tidy.sh '^model/' '^storage/'
set -euo pipefail
cd "$(dirname "$0")/.."
db=build/dev/compile_commands.json
if [ ! -f "$db" ]; then
  echo "no $db: run 'cmake --preset dev' first" >&2
  exit 2
fi
root=$(pwd)
# Our own sources only: not the tests' GoogleTest bodies nor the files AUTOMOC generates.
filter='^(model|storage|link|design|cli|qtsupport|charts|dialogs|app)/'
if [ $# -gt 0 ]; then filter=$(IFS='|'; echo "$*"); fi
mapfile -t files < <(sed -n 's|^ *"file": "\(.*\)",\?$|\1|p' "$db" | sed "s|^$root/||" | grep -E "$filter" |
  grep -v -E '(_autogen|mocs_compilation)' | sort -u)
if [ ${#files[@]} -eq 0 ]; then
  echo "no source matches $filter" >&2
  exit 2
fi
# Two jobs, as every build here runs with.
# run-clang-tidy always asks for colour: the escapes are taken out before the findings are picked.
run-clang-tidy-14 -quiet -j 2 -p build/dev "${files[@]/#/$root/}" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' |
  grep -E '^/.*(warning|error):' | sed "s|^$root/||" | sort -u | tee /tmp/tidy-findings.$$ || true
n=$(wc -l </tmp/tidy-findings.$$)
rm -f /tmp/tidy-findings.$$
echo "$n findings" >&2
[ "$n" -eq 0 ]
