#!/usr/bin/env bash
# Times `glintvane-cli search` against `find -iname thumbs.db -o -iname info2`
# on the same generated tree, warm, and prints our time as a ratio of find's.
# The goal is 0.8 or less.
#
# Usage: search_vs_find.sh PATH/TO/glintvane-cli [FOLDERS]
# The tree (FOLDERS folders, default 100000, three files each, one cache in
# about every 330 folders, a few recycle-bin folders) is made under a fresh
# temporary folder in $TMPDIR (default /tmp) and removed afterwards. Making
# the tree takes minutes on a busy disk; the timed runs take seconds.
set -euo pipefail

cli=${1:?usage: search_vs_find.sh PATH/TO/glintvane-cli [FOLDERS]}
folders=${2:-100000}
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-discover-XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/tree

# Four levels: 10 x 10 x 10 inner folders, the rest spread as leaves below.
leaves_per_inner=$(( (folders + 999) / 1000 ))
echo "making ${folders} folders, $((folders * 3)) files under $root" >&2
awk -v root="$root" -v per="$leaves_per_inner" -v total="$folders" 'BEGIN {
  n = 0
  for (a = 0; a < 10; a++) for (b = 0; b < 10; b++) for (c = 0; c < 10; c++)
    for (d = 0; d < per && n < total; d++) {
      printf "%s/a%d/b%d/c%d/d%d\n", root, a, b, c, d
      n++
    }
}' > "$work/folders"
xargs -d '\n' mkdir -p < "$work/folders"

awk -v root="$root" '{
  for (f = 0; f < 3; f++) printf "%s/file%d.jpg\n", $0, f
  if (NR % 330 == 0) {
    # Letter case varies, as it does on disks written by several Windows versions.
    name = (NR % 3 == 0) ? "Thumbs.db" : (NR % 3 == 1) ? "thumbs.db" : "THUMBS.DB"
    printf "%s/%s\n", $0, name
  }
}' "$work/folders" > "$work/files"
xargs -d '\n' touch < "$work/files"

# A few recycle-bin folders with an empty index (header only) and a
# recycled cache each.
for i in 1 2 3 4 5; do
  bin=$root/a$i/RECYCLER/S-1-5-21-$i
  mkdir -p "$bin"
  printf '\005\000\000\000\000\000\000\000\000\000\000\000\040\003\000\000\000\000\000\000' \
    > "$bin/INFO2"
  printf '\320\317\021\340\241\261\032\341' > "$bin/DC$i.db"
done

seconds() { date +%s.%N; }

# Warm the cache with one pass of each, then time one run of each.
find "$root" -iname thumbs.db -o -iname info2 > /dev/null
"$cli" search "$root" > /dev/null

start=$(seconds)
find_count=$(find "$root" -iname thumbs.db -o -iname info2 | wc -l)
find_time=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }')

start=$(seconds)
"$cli" search "$root" --json > "$work/search.json"
search_time=$(awk -v a="$(seconds)" -v b="$start" 'BEGIN { print a - b }')
search_rows=$(grep -c '"path"' "$work/search.json" || true)

printf 'find:   %.3f s (%d names)\n' "$find_time" "$find_count"
printf 'search: %.3f s (%d rows)\n' "$search_time" "$search_rows"
awk -v s="$search_time" -v f="$find_time" 'BEGIN { printf "ratio:  %.2f (goal <= 0.80)\n", s / f }'
