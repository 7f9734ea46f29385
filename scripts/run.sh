#!/usr/bin/env bash
# Installs what is missing, builds, and starts Glintvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh dev
if [ -x build/dev/app/glintvane ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/dev/app/glintvane "$@"
fi
# No display (or no window built): list the sample cache the build made.
echo "No display found: listing the sample cache with the command line instead." >&2
exec build/dev/cli/glintvane-cli list build/dev/sample/Thumbs.db
