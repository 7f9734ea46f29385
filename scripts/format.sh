#!/usr/bin/env bash
# clang-format 14 over the tree: scripts/format.sh to fix, --check to verify.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.hpp' | grep -v '^build/')
((${#files[@]})) || exit 0
if [ "${1:-}" = --check ]; then
  clang-format-14 --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files clean"
else
  clang-format-14 -i "${files[@]}"
fi
