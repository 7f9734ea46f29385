#!/usr/bin/env bash
# Builds the Debian package with dpkg-buildpackage and checks it: lintian must
# report no error and no warning, and hardening-check must find every feature
# that Debian 12's dpkg-buildflags gives (PIE, stack protector, fortified
# functions, RELRO, immediate binding).
#   scripts/package.sh       a build of its own, the tests included
#                            (DEB_BUILD_OPTIONS=nocheck leaves them out)
#   scripts/package.sh ci    the programs of build/ci, which the ci preset
#                            compiles with the package's flags and which
#                            scripts/test.sh has built and tested: packaged
#                            without being built again
# The .deb, its -dbgsym, the .buildinfo and the .changes go to build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
options=(-us -uc -b)
case "${1:-}" in
  "") ;;
  ci) options+=(--build-profiles=pkg.glintvane.citree) ;;
  *)
    echo "usage: scripts/package.sh [ci]" >&2
    exit 2
    ;;
esac

name=glintvane_$(dpkg-parsechangelog -S Version)_$(dpkg-architecture -qDEB_HOST_ARCH)
out=build/package
rm -rf "$out"
mkdir -p "$out"
dpkg-buildpackage "${options[@]}"

# dpkg-buildpackage leaves its files beside the source tree; the .changes
# names them.
changes=../$name.changes
for file in $(awk '/^Files:/ { inside = 1; next } inside && /^ / { print $5 }
                   inside && /^[^ ]/ { inside = 0 }' "$changes"); do
  mv "../$file" "$out/"
done
mv "$changes" "$out/"
ls -l "$out"

echo "== lintian"
lintian --fail-on error,warning "$out/$name.changes"

echo "== hardening-check"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$out/$name.deb" "$unpacked"
# Control-flow protection comes with the dpkg-buildflags of later Debian
# releases; Debian 12's does not give it.
hardening-check --nocfprotection "$unpacked"/usr/bin/*
echo "package: $out/$name.deb"
