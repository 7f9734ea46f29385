#!/usr/bin/env bash
# Names every thumbnail id of a generated Windows 11 search database
# (make_windows_db.sh, ITEMS items, default 1,000,000) and compares it with
# the sqlite3 command-line query that reads the same two properties
# (thumbnail id and path) of every item, warm, in turns:
#   - naming: bench_name_ids, the whole index read into memory and every id
#     looked up, as the program names thumbcache rows; goal: within 2x of
#     sqlite3 and under 300 MiB resident;
#   - listing: `glintvane-cli index --json`, every id with all its fields
#     written out (for the record).
# Times are medians of RUNS runs; CPU time (user + system) is printed beside
# wall clock, since other work on a busy machine disturbs it far less.
#
# Usage: windows_db_vs_sqlite3.sh PATH/TO/bench_name_ids PATH/TO/glintvane-cli [ITEMS] [RUNS]
# The database is made in a fresh temporary folder in $TMPDIR (default /tmp)
# and removed afterwards; the reader's private copy goes there too.
set -euo pipefail
export LC_ALL=C

usage="usage: windows_db_vs_sqlite3.sh PATH/TO/bench_name_ids PATH/TO/glintvane-cli [ITEMS] [RUNS]"
namer=${1:?$usage}
cli=${2:?$usage}
items=${3:-1000000}
runs=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-index-XXXXXX")
trap 'rm -rf "$work"' EXIT
db=$work/Windows.db
export TMPDIR=$work

echo "making a Windows.db of $items items" >&2
"$here/make_windows_db.sh" "$db" "$items"
echo "database: $(($(stat -c %s "$db") / 1048576)) MiB" >&2

query="SELECT hex(a.Value), b.Value FROM SystemIndex_1_PropertyStore a
  JOIN SystemIndex_1_PropertyStore b ON b.WorkId = a.WorkId AND b.ColumnId = 33
  WHERE a.ColumnId = 349"

# Runs "$@" with its output in $work/out; prints "<wall s> <cpu s> <max RSS KiB>".
timed() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > "$work/out"
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Warm the page cache with one pass of each.
sqlite3 -readonly "$db" "$query" > /dev/null
"$namer" "$db" > /dev/null

for name in sqlite naming listing; do : > "$work/$name.times"; done
for ((i = 0; i < runs; i++)); do
  timed sqlite3 -readonly "$db" "$query" >> "$work/sqlite.times"
  sqlite_rows=$(wc -l < "$work/out")
  timed "$namer" "$db" >> "$work/naming.times"
  named=$(awk '{ print $2 }' "$work/out")
  timed "$cli" index --json "$db" >> "$work/listing.times"
  listed=$(grep -c '"thumbnail_id"' "$work/out" || true)
done
if [ "$sqlite_rows" != "$items" ] || [ "$named" != "$items" ] || [ "$listed" != "$items" ]; then
  echo "counts differ: sqlite3 $sqlite_rows, named $named, listed $listed, items $items" >&2
  exit 1
fi
column() { awk -v c="$2" '{ print $c }' "$work/$1.times" | median; }
report() {
  local name=$1 goal=$2 wall cpu rss
  wall=$(column "$name" 1)
  cpu=$(column "$name" 2)
  rss=$(awk '{ print $3 }' "$work/$name.times" | sort -g | tail -1)
  awk -v n="$items" -v what="$name" -v w="$wall" -v c="$cpu" -v r="$rss" -v goal="$goal" \
    -v sw="$(column sqlite 1)" -v sc="$(column sqlite 2)" 'BEGIN {
    printf "windows.db %d items, %s: %.2f s (cpu %.2f s) against sqlite3 %.2f s (cpu %.2f s):", n, what, w, c, sw, sc
    printf " ratio %.2f (cpu %.2f)%s; max RSS %.0f MiB\n", w / sw, c / sc, goal, r / 1024
  }'
}
report naming " (goal <= 2, RSS < 300 MiB)"
report listing ""
