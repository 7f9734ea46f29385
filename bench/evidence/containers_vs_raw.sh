#!/usr/bin/env bash
# Times `glintvane-cli search` on one NTFS disk as raw and inside VMDK, VHDX
# and QCOW2 containers (qemu-img convert), and prints each container's time
# as a ratio to the raw disk's. Goal: every ratio at most 1.2.
#
# Usage: containers_vs_raw.sh PATH/TO/glintvane-cli [FILES] [SIZE]
# Defaults: 100000 empty files in folders of 100 on a 2G NTFS file system (as
# image_vs_fls.sh makes), filled through ntfs-3g (FUSE, needs root or a fuse
# group). BENCH_IMAGE=FILE times that raw image instead (the 2G image that
# image_vs_fls.sh keeps with the same setting, for one).
set -euo pipefail

cli=${1:?usage: containers_vs_raw.sh PATH/TO/glintvane-cli [FILES] [SIZE]}
files=${2:-100000}
size=${3:-2G}
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-containers-XXXXXX")
mnt=$work/mnt
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"

if [ -n "${BENCH_IMAGE:-}" ] && [ -f "$BENCH_IMAGE" ]; then
  image=$BENCH_IMAGE
  echo "timing the image made before: $image" >&2
else
  image=$work/ntfs.raw
  echo "making a $size NTFS image with $files files" >&2
  truncate -s "$size" "$image"
  mkntfs -q -F -Q "$image" >/dev/null 2>&1
  ntfs-3g -o big_writes "$image" "$mnt"
  awk -v root="$mnt" -v total="$files" 'BEGIN {
    for (n = 0; n < total; n += 100) printf "%s/u%d/f%d\n", root, int(n / 10000), int(n / 100)
  }' >"$work/folders"
  xargs -d '\n' mkdir -p <"$work/folders"
  awk -v total="$files" '{
    for (f = 0; f < 100 && NR * 100 - 100 + f < total; f++) printf "%s/photo%03d.jpg\n", $0, f
  }' "$work/folders" | xargs -d '\n' touch
  umount "$mnt"
fi

echo "converting to VMDK, VHDX and QCOW2" >&2
qemu-img convert -O vmdk "$image" "$work/disk.vmdk"
qemu-img convert -O vhdx "$image" "$work/disk.vhdx"
qemu-img convert -O qcow2 "$image" "$work/disk.qcow2"

seconds() { date +%s.%N; }
# The better of three runs, after one that warms the page cache.
best_of_three() {
  "$cli" search "$1" --json >/dev/null || true
  local best=999999 start t
  for _ in 1 2 3; do
    start=$(seconds)
    "$cli" search "$1" --json >"$work/search.json" || true
    t=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }')
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (a < b) ? a : b }')
  done
  echo "$best"
}

raw=$(best_of_three "$image")
entries=$(python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
print(sum(p["files"] + p["folders"] for p in d["partitions"]))' "$work/search.json")
printf 'raw:    %.3f s (%d files and folders)\n' "$raw" "$entries"
for container in vmdk vhdx qcow2; do
  t=$(best_of_three "$work/disk.$container")
  awk -v s="$t" -v r="$raw" -v name="$container" \
    'BEGIN { printf "%-6s  %.3f s  ratio %.2f (goal <= 1.20)\n", name ":", s, s / r }'
done
