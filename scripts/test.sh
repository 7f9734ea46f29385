#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the whole tree with warnings as errors and the Debian package's flags, and all unit,
#      end-to-end and window tests; then the installed tree (launcher, software-centre record,
#      icons, man pages, texts), and the Debian package made from the same programs, checked
#      by lintian and hardening-check;
#   2. the core and its tests again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. every fuzz target for FUZZ_SECONDS (default 30) seconds; longer runs: fuzz/run.sh SECONDS.
# The format check runs first. Set SKIP_ASAN=1 or SKIP_FUZZ=1 to leave a stage out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== format check"
scripts/format.sh --check

echo "== build and test (ci)"
scripts/build.sh ci
ctest --preset ci -j2 --timeout 600

echo "== installed tree (ci)"
scripts/check-install.sh build/ci

echo "== Debian package (ci)"
scripts/package.sh ci

if [ "${SKIP_ASAN:-0}" != 1 ]; then
  echo "== build and test under ASan+UBSan (asan)"
  scripts/build.sh asan
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2 --timeout 900
fi

if [ "${SKIP_FUZZ:-0}" != 1 ] && [ -x fuzz/run.sh ]; then
  echo "== fuzz"
  fuzz/run.sh "${FUZZ_SECONDS:-30}"
fi
