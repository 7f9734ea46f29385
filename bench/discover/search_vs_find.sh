#!/usr/bin/env bash
# Times `glintvane-cli search` against `find -iname thumbs.db -o -iname info2`
# on the same generated tree, warm, and prints our time as a ratio of find's:
# wall clock, and CPU time (user + system), which other work on a busy
# machine disturbs far less. Each is the median of RUNS runs of each, taken
# in turns. The goal is 0.65 or less.
#
# Usage: search_vs_find.sh PATH/TO/glintvane-cli [FOLDERS] [RUNS]
# The tree (FOLDERS folders, default 100000, three files each, one cache in
# about every 330 folders, a few recycle-bin folders) is made under a fresh
# temporary folder in $TMPDIR (default /tmp) and removed afterwards. Making
# the tree takes minutes on a busy disk; the timed runs take seconds.
set -euo pipefail
export LC_ALL=C  # "." in the times `times` prints and printf reads

cli=${1:?usage: search_vs_find.sh PATH/TO/glintvane-cli [FOLDERS] [RUNS]}
folders=${2:-100000}
runs=${3:-5}
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

# Runs "$@" with its output in $work/out; prints "<wall> <cpu>" in seconds,
# the CPU time being the command's user and system time as the shell counts
# its children.
timed() {
  local start end
  start=$(date +%s.%N)
  ( "$@" > "$work/out"; times > "$work/times" )
  end=$(date +%s.%N)
  awk -v a="$end" -v b="$start" 'function s(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
    NR == 2 { printf "%.4f %.4f\n", a - b, s($1) + s($2) }' "$work/times"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Warm the cache with one pass of each, then time them in turns.
find "$root" -iname thumbs.db -o -iname info2 > /dev/null
"$cli" search "$root" > /dev/null

: > "$work/find.times"
: > "$work/search.times"
for ((i = 0; i < runs; i++)); do
  timed find "$root" -iname thumbs.db -o -iname info2 >> "$work/find.times"
  find_count=$(wc -l < "$work/out")
  timed "$cli" search "$root" --json >> "$work/search.times"
  search_rows=$(grep -c '"path"' "$work/out" || true)
done

find_wall=$(cut -d' ' -f1 "$work/find.times" | median)
find_cpu=$(cut -d' ' -f2 "$work/find.times" | median)
search_wall=$(cut -d' ' -f1 "$work/search.times" | median)
search_cpu=$(cut -d' ' -f2 "$work/search.times" | median)

printf 'find:   %.3f s wall, %.3f s CPU (%d names)\n' "$find_wall" "$find_cpu" "$find_count"
printf 'search: %.3f s wall, %.3f s CPU (%d rows)\n' "$search_wall" "$search_cpu" "$search_rows"
awk -v s="$search_wall" -v f="$find_wall" -v sc="$search_cpu" -v fc="$find_cpu" -v n="$runs" 'BEGIN {
  printf "ratio:  %.2f wall, %.2f CPU (medians of %d runs; goal <= 0.65)\n", s / f, sc / fc, n
}'
