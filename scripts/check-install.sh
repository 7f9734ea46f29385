#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the tree as a desktop
# would see it: the launcher and the software-centre record validate, the
# icons and man pages are where they belong, and the installed program starts
# (offscreen) and finds its language files and user guide.
#   scripts/check-install.sh [build-dir]      (default build/ci)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
id=com.corvanta.Glintvane
for f in bin/glintvane bin/glintvane-cli \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/glintvane.svg \
         share/icons/hicolor/16x16/apps/glintvane.png share/icons/hicolor/48x48/apps/glintvane.png \
         share/icons/hicolor/256x256/apps/glintvane.png \
         share/man/man1/glintvane.1 share/man/man1/glintvane-cli.1 \
         share/glintvane/DEU.lang share/glintvane/guide/Glintvane.html; do
  [ -e "$prefix/$f" ] || { echo "check-install: missing $f" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
man -l "$prefix/share/man/man1/glintvane.1" >/dev/null
man -l "$prefix/share/man/man1/glintvane-cli.1" >/dev/null

# The installed program, far from the build tree: its texts come from
# share/glintvane. Settings go to the scratch folder, not the user's.
XDG_CONFIG_HOME="$prefix/config" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/glintvane" --check-install
"$prefix/bin/glintvane-cli" --version >/dev/null
echo "check-install: the installed tree is complete"
