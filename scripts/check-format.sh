#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file differs from .clang-format. The formatter's version
# is pinned: another version lays out some lines differently. `--fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=clang-format-14
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! "$fmt" --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "These files differ from .clang-format (scripts/check-format.sh --fix formats them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
