#!/usr/bin/env bash
# Times `glintvane-cli index --json` on a Windows.edb against `esedbexport -t
# OUT -T SystemIndex_PropertyStore` (libesedb-utils) on the same file, warm,
# in turns, and prints our time as a ratio of esedbexport's: wall clock and
# CPU time (user + system), medians of RUNS runs each. The goal is 1.5 or
# less.
#
# Usage: index_vs_esedbexport.sh PATH/TO/glintvane-cli WINDOWS.EDB [RUNS]
set -euo pipefail
export LC_ALL=C

cli=${1:?usage: index_vs_esedbexport.sh PATH/TO/glintvane-cli WINDOWS.EDB [RUNS]}
edb=${2:?usage: index_vs_esedbexport.sh PATH/TO/glintvane-cli WINDOWS.EDB [RUNS]}
runs=${3:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/glintvane-bench-ese-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs "$@" with its output in $work/out; prints "<wall s> <cpu s>".
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" > "$work/out"
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# esedbexport writes OUT.export and will not write into one that exists:
# each run starts afresh.
export_cmd=(bash -c 'rm -rf "$1.export" && exec esedbexport -t "$1" -T SystemIndex_PropertyStore "$2"'
  _ "$work/export" "$edb")

"${export_cmd[@]}" > /dev/null
"$cli" index --json "$edb" > /dev/null || true
: > "$work/export.times"
: > "$work/index.times"
for ((i = 0; i < runs; i++)); do
  timed "${export_cmd[@]}" >> "$work/export.times"
  timed "$cli" index --json "$edb" >> "$work/index.times" || true
done
column() { awk -v c="$2" '{ print $c }' "$work/$1.times" | median; }
awk -v iw="$(column index 1)" -v ic="$(column index 2)" -v ew="$(column export 1)" \
  -v ec="$(column export 2)" -v f="$(basename "$(dirname "$edb")")/$(basename "$edb")" 'BEGIN {
  printf "%s: index %.2f s (cpu %.2f s), esedbexport %.2f s (cpu %.2f s): ratio %.2f (cpu %.2f) (goal <= 1.5)\n",
    f, iw, ic, ew, ec, iw / ew, (ec > 0 ? ic / ec : 0)
}'
