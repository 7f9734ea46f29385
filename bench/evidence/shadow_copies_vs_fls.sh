#!/usr/bin/env bash
# Times the search of the Volume Shadow Copy stores of an NTFS image against
# The Sleuth Kit's `fls -r -p` over the same stores as vshadowmount(1) shows
# them, and prints the ratios. Goal: searching the stores at most 1.2x fls.
#
# Usage: shadow_copies_vs_fls.sh PATH/TO/glintvane-cli [IMAGE] [RUNS]
# IMAGE defaults to the public test volume vsstest.qcow2 (two stores) of
# ../shared/corpus/images, converted to raw for vshadowmount; any raw NTFS
# volume with shadow copies will do. RUNS (default 20) runs of each command
# are timed after one to warm the page cache.
#
# The stores' share of the search is the search with them less the search
# without them (--no-shadow-copies), so the program's start and the volume's
# walk drop out; it is set against fls over each store. The whole run is set
# against fls over the volume and every store as well. vshadowmount needs
# FUSE (/dev/fuse and root or the fuse group).
set -euo pipefail

cli=${1:?usage: shadow_copies_vs_fls.sh PATH/TO/glintvane-cli [IMAGE] [RUNS]}
here=$(cd "$(dirname "$0")" && pwd)
image=${2:-$here/../../../shared/corpus/images/vsstest.qcow2}
runs=${3:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-vss-XXXXXX")
mnt=$work/mnt
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && { fusermount -u "$mnt" 2>/dev/null || umount "$mnt"; }
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"

raw=$image
if qemu-img info "$image" 2>/dev/null | grep -q '^file format: qcow2'; then
  raw=$work/volume.raw
  qemu-img convert -O raw "$image" "$raw"
fi
vshadowmount "$raw" "$mnt" > /dev/null
mapfile -t stores < <(ls "$mnt"/vss* 2>/dev/null | sort -V)
((${#stores[@]})) || { echo "no shadow-copy stores in $image" >&2; exit 1; }

seconds() { date +%s.%N; }
# Seconds for RUNS runs of the command.
timed() {
  "$@" > /dev/null
  local start; start=$(seconds)
  for ((r = 0; r < runs; r++)); do "$@" > /dev/null; done
  awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }'
}

fls_volume=$(timed fls -r -p "$raw")
fls_stores=0
for store in "${stores[@]}"; do
  t=$(timed fls -r -p "$store")
  printf 'fls -r -p %-6s %.3f s (%d runs, %d entries)\n' "$(basename "$store"):" "$t" "$runs" \
    "$(fls -r -p "$store" | wc -l)"
  fls_stores=$(awk -v a="$fls_stores" -v b="$t" 'BEGIN { print a + b }')
done
search_volume=$(timed "$cli" search --json --no-shadow-copies "$raw")
search_all=$(timed "$cli" search --json "$raw")
"$cli" search --json "$raw" > "$work/search.json"
walked=$(python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
print(sum(len(p["shadow_copies"]) for p in d["partitions"]))' "$work/search.json")

printf 'fls -r -p volume: %.3f s\n' "$fls_volume"
printf 'search, volume only:         %.3f s\n' "$search_volume"
printf 'search, volume and %d stores: %.3f s\n' "$walked" "$search_all"
awk -v s="$search_all" -v v="$search_volume" -v f="$fls_stores" \
  'BEGIN { printf "stores ratio:  %.2f (the stores'"'"' share of the search / fls over each store; goal <= 1.20)\n", (s - v) / f }'
awk -v s="$search_all" -v f="$fls_stores" -v g="$fls_volume" \
  'BEGIN { printf "whole ratio:   %.2f (search / fls over the volume and each store)\n", s / (f + g) }'
