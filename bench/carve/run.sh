#!/usr/bin/env bash
# Times the carving scan against `cat FILE > /dev/null` on the same files in
# the same run, with a warm page cache, and checks what it finds. The scan is
# timed without decoding what it finds (--no-verify); the decode checks that
# a plain `carve` adds are timed beside it.
#   bench/carve/run.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR holds a built glintvane-cli and carve_bench_input (default
# build/dev); the inputs are written once into WORK_DIR (default
# /tmp/glintvane-carve-bench, about 2.1 GiB).
# Goals: at least 0.75x of cat on the 1 GiB files; the million-row file in
# under 3 s and 200 MiB.
set -euo pipefail

build=${1:-build/dev}
work=${2:-/tmp/glintvane-carve-bench}
cli=$build/cli/glintvane-cli
gen=$build/bench/carve/carve_bench_input
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "missing $tool: build glintvane-cli and carve_bench_input" >&2; exit 2; }
done
mkdir -p "$work"
[[ -f $work/mixed.bin ]] || "$gen" mixed "$work/mixed.bin" "$work/mixed.manifest" 1024 2000
[[ -f $work/dense.bin ]] || "$gen" dense "$work/dense.bin" 1024
[[ -f $work/repeated.bin ]] || "$gen" repeated "$work/repeated.bin" 64

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
cat_file() { cat "$1" > /dev/null; }

failed=0
printf '%-13s %9s %8s %10s %7s %8s %9s\n' file MiB cat_s carve_s ratio rows verify_s
for name in mixed dense; do
  file=$work/$name.bin
  cat_file "$file"  # warm the page cache
  cat_ns=$(best_ns cat_file "$file")
  carve_ns=$(best_ns "$cli" carve --no-verify "$file")
  verify_ns=$(best_ns "$cli" carve "$file")
  rows=$("$cli" carve --no-verify "$file" | tail -n +2 | wc -l)
  ratio=$(awk -v c="$cat_ns" -v g="$carve_ns" 'BEGIN { printf "%.2f", c / g }')
  printf '%-13s %9d %8s %10s %6sx %8d %9s\n' "$name.bin" $(( $(stat -c %s "$file") >> 20 )) \
    "$(seconds "$cat_ns")" "$(seconds "$carve_ns")" "$ratio" "$rows" "$(seconds "$verify_ns")"
  if awk -v r="$ratio" 'BEGIN { exit !(r < 0.75) }'; then
    echo "  below the goal of 0.75x cat"; failed=1
  fi
done

# Every planted image found, starting where it was planted and ending where
# it ends.
"$cli" carve --no-verify "$work/mixed.bin" | awk 'NR > 1 && $5 == "yes" { print $2, $4 }' |
  sort > "$work/found.txt"
sort "$work/mixed.manifest" > "$work/planted.txt"
missing=$(comm -23 "$work/planted.txt" "$work/found.txt" | wc -l)
echo "mixed.bin: $(wc -l < "$work/planted.txt") planted, $missing not found whole"
(( missing == 0 )) || failed=1

# The million-row file: time and memory of one run.
read -r elapsed rss_kib < <( { /usr/bin/time -f '%e %M' "$cli" carve "$work/repeated.bin" > /dev/null; } 2>&1 | tail -1)
rows=$(( ($(stat -c %s "$work/repeated.bin") - 10) / 64 + 1 ))
echo "repeated.bin: ~$rows rows in ${elapsed} s, max RSS $(( rss_kib / 1024 )) MiB (goal: < 3 s, < 200 MiB)"
awk -v e="$elapsed" -v m="$rss_kib" 'BEGIN { exit !(e >= 3 || m >= 200 * 1024) }' && failed=1

if command -v foremost > /dev/null; then
  out=$(mktemp -d)
  start=$(now)
  foremost -Q -t jpg -i "$work/mixed.bin" -o "$out/fm" > /dev/null 2>&1 || true
  fm_ns=$(( $(now) - start ))
  fm_count=$(find "$out/fm" -type f -name '*.jpg' | wc -l)
  mixed_cat=$(best_ns cat_file "$work/mixed.bin")
  echo "foremost on mixed.bin: $(seconds "$fm_ns") s, $fm_count images," \
    "$(awk -v c="$mixed_cat" -v f="$fm_ns" 'BEGIN { printf "%.2f", c / f }')x cat"
  rm -rf "$out"
fi
exit "$failed"
