#!/usr/bin/env bash
# Times the carving scan on hostile inputs against `cat FILE > /dev/null` on
# the same files, and on the benign mixed file, in the same run:
#   bench/carve/worst_case.sh [BUILD_DIR] [WORK_DIR]
#   walkers.bin     every 4 KiB page starts a JPEG that all earlier ones read
#                   as valid structure, entropy data of FF 00 pairs
#   nested.bin      a JPEG start every 32 bytes inside the earlier ones' APP0
#   signatures.bin  back-to-back "JFIF\0" (4 million rows in 20 MB)
#   floods/*.bin    16 MiB each of back-to-back starts of the other kinds,
#                   scanned with --kinds all: "BM", PNG signatures, PNG
#                   headers with a valid header chunk, JPEG starts whose first
#                   segment runs over the next ones (FF D8 FF DB, Exif headers)
# MB/s is taken from the CPU time the scan used (user + system), which a
# machine shared with other work does not inflate; the wall-clock ratios to
# cat and to the mixed file are printed beside it. The scan is timed without
# decoding what it finds (--no-verify); verify_s is the CPU time with it.
# Goal: every file at least 50 MB/s; signatures.bin under 48 bytes of memory
# per row (max RSS over rows, less the RSS of a scan of the same size without
# rows).
set -euo pipefail

build=${1:-build/dev}
work=${2:-/tmp/glintvane-carve-worst}
cli=$build/cli/glintvane-cli
gen=$build/bench/carve/carve_bench_input
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "missing $tool: build glintvane-cli and carve_bench_input" >&2; exit 2; }
done
mkdir -p "$work"
[[ -f $work/mixed.bin ]] || "$gen" mixed "$work/mixed.bin" "$work/mixed.manifest" 100 200
[[ -f $work/walkers.bin ]] || "$gen" walkers "$work/walkers.bin" 100
[[ -f $work/nested.bin ]] || "$gen" nested "$work/nested.bin" 100
[[ -f $work/signatures.bin ]] || "$gen" signatures "$work/signatures.bin" 20
[[ -f $work/blank.bin ]] || head -c $((20 << 20)) /dev/zero > "$work/blank.bin"

now() { date +%s%N; }
best_ns() {
  local best=0 start elapsed
  for _ in 1 2 3; do
    start=$(now)
    "$@" > /dev/null 2>&1 || true
    elapsed=$(( $(now) - start ))
    (( best == 0 || elapsed < best )) && best=$elapsed
  done
  echo "$best"
}
cat_file() { cat "$1" > /dev/null; }

failed=0
mkdir -p "$work/floods"
for flood in bm png_signatures png_headers jpeg_tables exif_headers; do
  [[ -f $work/floods/$flood.bin ]] || "$gen" flood "$flood" "$work/floods/$flood.bin" 16
done

cpu_of() {  # CPU seconds of one run, at least 0.01
  { /usr/bin/time -f '%U %S' "$@" > /dev/null; } 2>&1 | tail -1 |
    awk '{ s = $1 + $2; print (s < 0.01 ? 0.01 : s) }'
}
mixed_ns=$(best_ns "$cli" carve --no-verify "$work/mixed.bin")
printf '%-28s %6s %9s %10s %9s %12s %9s\n' file MiB MB/s x_cat x_mixed rows verify_s
for file in "$work"/{mixed,walkers,nested,signatures}.bin "$work"/floods/*.bin; do
  name=${file#"$work"/}
  kinds=jfif
  [[ $name == floods/* ]] && kinds=all
  bytes=$(stat -c %s "$file")
  cat_file "$file"
  cat_ns=$(best_ns cat_file "$file")
  carve_ns=$(best_ns "$cli" carve --kinds "$kinds" --no-verify "$file")
  rows=$("$cli" carve --kinds "$kinds" --no-verify --max-rows 100000000 "$file" | tail -n +2 | wc -l)
  cpu_s=$(cpu_of "$cli" carve --kinds "$kinds" --no-verify "$file")
  verify_s=$(cpu_of "$cli" carve --kinds "$kinds" "$file")
  mbs=$(awk -v b="$bytes" -v s="$cpu_s" 'BEGIN { printf "%.0f", b / s / 1e6 }')
  mixed_mbs=$(awk -v b="$(stat -c %s "$work/mixed.bin")" -v ns="$mixed_ns" 'BEGIN { print b / ns }')
  printf '%-28s %6d %9s %9.2fx %8.2fx %12d %9s\n' "$name" $(( bytes >> 20 )) "$mbs" \
    "$(awk -v c="$cat_ns" -v g="$carve_ns" 'BEGIN { print c / g }')" \
    "$(awk -v m="$mixed_mbs" -v b="$bytes" -v ns="$carve_ns" 'BEGIN { print (b / ns) / m }')" \
    "$rows" "$verify_s"
  if (( mbs < 50 )); then echo "  below the goal of 50 MB/s"; failed=1; fi
done

rss_kib() { { /usr/bin/time -f '%M' "$cli" carve --json --max-rows 100000000 "$1" > /dev/null; } 2>&1 | tail -1; }
rows=$("$cli" carve --max-rows 100000000 "$work/signatures.bin" | tail -n +2 | wc -l)
with=$(rss_kib "$work/signatures.bin")
without=$(rss_kib "$work/blank.bin")
per_row=$(awk -v a="$with" -v b="$without" -v r="$rows" 'BEGIN { printf "%.1f", (a - b) * 1024 / r }')
echo "signatures.bin: $rows rows, max RSS $(( with / 1024 )) MiB, $per_row bytes per row (goal: <= 48)"
awk -v p="$per_row" 'BEGIN { exit !(p > 48) }' && failed=1
exit "$failed"
