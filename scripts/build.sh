#!/usr/bin/env bash
# Configures and builds one preset: scripts/build.sh [dev|ci|asan|fuzz] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
shift || true
cmake --preset "$preset" >/dev/null
if (($#)); then
  cmake --build --preset "$preset" --target "$@"
else
  cmake --build --preset "$preset"
fi
