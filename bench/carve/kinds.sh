#!/usr/bin/env bash
# Carving every kind at once, against `cat FILE > /dev/null` and against the
# JFIF-only scan of the same file, in the same run with a warm page cache;
# then what it finds in a mix of every kind against the mix's truth table.
#   bench/carve/kinds.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR holds a built glintvane-cli, carve_bench_input and
# carve_kinds_input (default build/dev); the inputs are written once into
# WORK_DIR (default /tmp/glintvane-carve-kinds, about 2 GiB):
#   mixed.bin  1 GiB of random, zero and text pages with 2000 JFIF pictures
#              (the file run.sh times)
#   kinds.bin  1 GiB of random bytes with 1000 pictures of every kind at
#              random offsets (JFIF and progressive, Exif with thumbnails,
#              JPEGs without a header segment, PNG, BMP); kinds.truth lists them
# Goals: --kinds all at least 0.5x cat and within 1.3x of the JFIF-only
# scan (scan times, --no-verify); on kinds.bin at least 99% of the pictures
# found exact (start, length, complete) and no row that does not start at a
# planted picture or at the thumbnail inside one.
# KINDS_BENCH_EXTRA adds options to the every-kind scan (a later kind of
# search that joins the same pass is timed with it).
set -euo pipefail

build=${1:-build/dev}
work=${2:-/tmp/glintvane-carve-kinds}
cli=$build/cli/glintvane-cli
gen=$build/bench/carve/carve_bench_input
kinds_gen=$build/bench/carve/carve_kinds_input
read -r -a extra <<<"${KINDS_BENCH_EXTRA:-}"
for tool in "$cli" "$gen" "$kinds_gen"; do
  [[ -x $tool ]] || {
    echo "missing $tool: build glintvane-cli, carve_bench_input and carve_kinds_input" >&2
    exit 2
  }
done
mkdir -p "$work"
[[ -f $work/mixed.bin ]] || "$gen" mixed "$work/mixed.bin" "$work/mixed.manifest" 1024 2000
[[ -f $work/kinds.bin ]] || "$kinds_gen" "$work/kinds.bin" "$work/kinds.truth" 1024 1000

now() { date +%s%N; }
# Best wall time of 5 runs, in nanoseconds.
best_ns() {
  local best=0 start elapsed
  for _ in 1 2 3 4 5; do
    start=$(now)
    "$@" > /dev/null 2>&1
    elapsed=$(( $(now) - start ))
    (( best == 0 || elapsed < best )) && best=$elapsed
  done
  echo "$best"
}
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
cat_file() { cat "$1" > /dev/null; }

failed=0
printf '%-10s %8s %9s %9s %8s %8s %9s %8s\n' file cat_s jfif_s all_s cat/all all/jfif verify_s rows
for name in mixed kinds; do
  file=$work/$name.bin
  cat_file "$file"  # warm the page cache
  cat_ns=$(best_ns cat_file "$file")
  jfif_ns=$(best_ns "$cli" carve --no-verify "$file")
  all_ns=$(best_ns "$cli" carve --kinds all --no-verify "${extra[@]}" "$file")
  start=$(now)
  rows=$("$cli" carve --kinds all "${extra[@]}" "$file" | tail -n +2 | wc -l)
  verify_ns=$(( $(now) - start ))
  printf '%-10s %8s %9s %9s %7sx %7sx %9s %8d\n' "$name.bin" "$(seconds "$cat_ns")" \
    "$(seconds "$jfif_ns")" "$(seconds "$all_ns")" "$(ratio "$cat_ns" "$all_ns")" \
    "$(ratio "$all_ns" "$jfif_ns")" "$(seconds "$verify_ns")" "$rows"
  if awk -v c="$cat_ns" -v a="$all_ns" 'BEGIN { exit !(c / a < 0.5) }'; then
    echo "  below the goal of 0.5x cat"; failed=1
  fi
  if awk -v j="$jfif_ns" -v a="$all_ns" 'BEGIN { exit !(a / j > 1.3) }'; then
    echo "  more than 1.3x the JFIF-only scan"; failed=1
  fi
done

# The mix against its truth table: a picture is exact when a complete row
# starts where it starts and is as long; a row is stray when nothing
# planted starts where it starts.
"$cli" carve --kinds all "${extra[@]}" "$work/kinds.bin" > "$work/kinds.rows"
awk -F'\t' '
  NR == FNR { truth[$1 " " $2] = $4; kind[$1 " " $2] = $3; starts[$1] = 1; planted[$4]++
              of_kind[$3 "/" $4]++; next }
  FNR == 1 { next }
  {
    key = $2 " " $4
    if ($5 == "yes" && (key in truth)) {
      exact[truth[key]]++; exact_kind[kind[key] "/" truth[key]]++
      if ($7 == "yes") decoding++
    }
    if (!($2 in starts)) stray++
    rows++
  }
  END {
    for (k in of_kind) printf "  %-8s %4d of %4d exact\n", k, exact_kind[k], of_kind[k]
    printf "kinds.bin: %d of %d pictures exact (%.2f%%), %d of %d thumbnails inside them, " \
      "%d exact rows decode, %d rows, %d stray\n", exact[0], planted[0],
      100 * exact[0] / planted[0], exact[1], planted[1], decoding, rows, stray
    exit !(exact[0] >= 0.99 * planted[0] && stray == 0)
  }' "$work/kinds.truth" "$work/kinds.rows" || failed=1

# A classic carver on the same file, by the count of files it writes.
if command -v foremost > /dev/null; then
  out=$(mktemp -d)
  foremost -Q -t jpg,png,bmp -i "$work/kinds.bin" -o "$out/fm" > /dev/null 2>&1 || true
  for ext in jpg png bmp; do
    echo "foremost on kinds.bin: $(find "$out/fm" -type f -name "*.$ext" | wc -l) .$ext files"
  done
  rm -rf "$out"
fi
awk -F'\t' '$4 == 0 { n[$3]++ } END { for (k in n) printf "planted %s: %d\n", k, n[k] }' \
  "$work/kinds.truth" | sort
exit "$failed"
