#!/usr/bin/env bash
# Times `glintvane-cli search IMAGE` against The Sleuth Kit's `fls -r -p` on
# the same generated NTFS image, and reading a cache inside the image against
# reading the same cache as a plain file; prints both as ratios.
# Goals: search at most 1.2x fls; reading at most 1.5x the plain file.
#
# Usage: image_vs_fls.sh PATH/TO/glintvane-cli [FILES] [CACHES] [SIZE]
# Defaults: 100000 files, 300 caches (a tenth of them deleted), a 2G image.
# The image is made with mkntfs and filled through ntfs-3g (FUSE, needs
# root or a fuse group); it lies sparse in $TMPDIR (default /tmp) and is
# removed afterwards. Filling takes minutes; the timed runs take seconds.
# BENCH_IMAGE=FILE keeps the image there, and a later run with the same
# setting times it again without making it anew.
set -euo pipefail

cli=${1:?usage: image_vs_fls.sh PATH/TO/glintvane-cli [FILES] [CACHES] [SIZE]}
files=${2:-100000}
caches=${3:-300}
size=${4:-2G}
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/../../../shared/corpus/real
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-evidence-XXXXXX")
mnt=$work/mnt
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT
image=${BENCH_IMAGE:-$work/ntfs.img}
mkdir -p "$mnt"

if [ -n "${BENCH_IMAGE:-}" ] && [ -f "$BENCH_IMAGE" ]; then
  echo "timing the image made before: $BENCH_IMAGE" >&2
else
echo "making a $size NTFS image with $files files and $caches caches" >&2
truncate -s "$size" "$image"
mkntfs -q -F -Q "$image" >/dev/null 2>&1
ntfs-3g -o big_writes "$image" "$mnt"

# 100 files a folder, folders two levels deep.
awk -v root="$mnt" -v total="$files" 'BEGIN {
  for (n = 0; n < total; n += 100) printf "%s/u%d/f%d\n", root, int(n / 10000), int(n / 100)
}' > "$work/folders"
xargs -d '\n' mkdir -p < "$work/folders"
awk -v total="$files" '{
  for (f = 0; f < 100 && NR * 100 - 100 + f < total; f++) printf "%s/photo%03d.jpg\n", $0, f
}' "$work/folders" > "$work/files"
xargs -d '\n' touch < "$work/files"

# The caches: corpus files in every n-th folder, a tenth deleted again.
mapfile -t sources < <(ls "$corpus"/*Thumbs.db)
folder_count=$(wc -l < "$work/folders")
step=$(( folder_count / caches )); ((step > 0)) || step=1
i=0
while read -r folder && ((i < caches)); do
  cp "${sources[i % ${#sources[@]}]}" "$folder/Thumbs.db"
  i=$((i + 1))
done < <(awk -v step="$step" 'NR % step == 0' "$work/folders")
i=0
while read -r folder; do
  if ((i % 10 == 0)) && [ -f "$folder/Thumbs.db" ]; then rm "$folder/Thumbs.db"; fi
  i=$((i + 1))
done < <(awk -v step="$step" 'NR % step == 0' "$work/folders")
umount "$mnt"
fi

seconds() { date +%s.%N; }
elapsed() { awk -v a="$(seconds)" -v b="$1" 'BEGIN { print a - b }'; }

# Warm the page cache with one pass of each, then time the better of three.
fls -r -p "$image" > /dev/null
"$cli" search "$image" --json > /dev/null
best_fls=999999; best_search=999999
for run in 1 2 3; do
  start=$(seconds); fls -r -p "$image" > "$work/fls.txt"; t=$(elapsed "$start")
  best_fls=$(awk -v a="$t" -v b="$best_fls" 'BEGIN { print (a < b) ? a : b }')
  start=$(seconds); "$cli" search "$image" --json > "$work/search.json"; t=$(elapsed "$start")
  best_search=$(awk -v a="$t" -v b="$best_search" 'BEGIN { print (a < b) ? a : b }')
done
rows=$(grep -c '"inode"' "$work/search.json" || true)
deleted=$(grep -c '"deleted": true' "$work/search.json" || true)
printf 'fls -r -p:     %.3f s (%d entries)\n' "$best_fls" "$(wc -l < "$work/fls.txt")"
printf 'search IMAGE:  %.3f s (%d rows, %d deleted)\n' "$best_search" "$rows" "$deleted"
awk -v s="$best_search" -v f="$best_fls" 'BEGIN { printf "search ratio:  %.2f (goal <= 1.20)\n", s / f }'

# Reading: the largest allocated cache, inside the image and copied out.
path=$(python3 -c '
import json, sys
rows = [r for r in json.load(open(sys.argv[1]))["rows"] if not r["deleted"]]
print(max(rows, key=lambda r: r["size"] or 0)["path"])' "$work/search.json")
inode=${path#*#p0:i}; inode=${inode%%:*}
icat "$image" "$inode" > "$work/plain-Thumbs.db"
reads=${READS:-20}
"$cli" list --json "$path" > /dev/null
"$cli" list --json "$work/plain-Thumbs.db" > /dev/null
start=$(seconds)
for ((r = 0; r < reads; r++)); do "$cli" list --json "$work/plain-Thumbs.db" > /dev/null; done
plain=$(elapsed "$start")
start=$(seconds)
for ((r = 0; r < reads; r++)); do "$cli" list --json "$path" > /dev/null; done
inside=$(elapsed "$start")
printf 'list plain:    %.3f s (%d runs, %d bytes)\n' "$plain" "$reads" "$(stat -c %s "$work/plain-Thumbs.db")"
printf 'list in image: %.3f s\n' "$inside"
awk -v s="$inside" -v f="$plain" 'BEGIN { printf "read ratio:    %.2f (goal <= 1.50)\n", s / f }'
