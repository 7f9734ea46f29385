#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Glintvane needs.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config git
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libssl-dev libexpected-dev
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  clang-14 libclang-rt-14-dev clang-format-14
  xvfb xauth
  desktop-file-utils appstream man-db
  build-essential dpkg-dev debhelper lintian devscripts
  libtsk-dev libewf-dev libvmdk-dev libvhdi-dev libqcow-dev libvshadow-dev libbfio-dev libafflib-dev
  libesedb-dev libsqlite3-dev
  sleuthkit ewf-tools dosfstools mtools ntfs-3g fdisk qemu-utils afflib-tools libvshadow-utils
  libesedb-utils sqlite3 time poppler-utils fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
