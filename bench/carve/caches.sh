#!/usr/bin/env bash
# Times the carving scan that also finds caches (--caches --kinds all)
# against `cat FILE > /dev/null` and against the JFIF-only scan of the same
# file, in the same run, with a warm page cache; then the scan of files made
# to cost the cache search the most:
#   bench/carve/caches.sh [BUILD_DIR] [WORK_DIR]
#   mixed.bin        1 GiB of pictures and noise (carve_bench_input mixed),
#                    with a real Thumbs.db copied in at a sector boundary
#   floods/cfb.bin   16 MiB: a compound-file header on every sector, each
#                    with a directory chain that runs through the others
#   floods/cmmm.bin  16 MiB: thumbcache entry headers every 56 bytes whose
#                    checksums hold
# The scans are timed without decoding (--no-verify), best of three.
# Goals: mixed.bin at least 0.5x cat and at most 1.3x the JFIF-only scan;
# each flood at least 50 MB/s of CPU time, as bench/carve/worst_case.sh asks
# of the other hostile files.
set -euo pipefail

build=${1:-build/dev}
work=${2:-/tmp/glintvane-carve-caches}
cli=$build/cli/glintvane-cli
gen=$build/bench/carve/carve_bench_input
here=$(cd "$(dirname "$0")" && pwd)
cache=$here/../../../shared/corpus/real/017-feng33-Thumbs.db
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "missing $tool: build glintvane-cli and carve_bench_input" >&2; exit 2; }
done
mkdir -p "$work/floods"
if [[ ! -f $work/mixed.bin ]]; then
  "$gen" mixed "$work/mixed.bin" "$work/mixed.manifest" 1024 2000
  dd if="$cache" of="$work/mixed.bin" bs=512 seek=$((300 << 11)) conv=notrunc status=none
fi
[[ -f $work/floods/cfb.bin ]] || "$gen" flood cfb_headers "$work/floods/cfb.bin" 16
[[ -f $work/floods/cmmm.bin ]] || "$gen" flood cmmm_entries "$work/floods/cmmm.bin" 16

source "$(dirname "$0")/timing.sh"

failed=0
file=$work/mixed.bin
cat_file "$file"
cat_ns=$(best_ns cat_file "$file")
jfif_ns=$(best_ns "$cli" carve --no-verify "$file")
all_ns=$(best_ns "$cli" carve --no-verify --caches --kinds all "$file")
caches=$("$cli" carve --no-verify --caches --kinds all --json "$file" |
  python3 -c 'import json, sys; print(len(json.load(sys.stdin)["caches"]))')
x_cat=$(awk -v c="$cat_ns" -v g="$all_ns" 'BEGIN { printf "%.2f", c / g }')
x_jfif=$(awk -v j="$jfif_ns" -v g="$all_ns" 'BEGIN { printf "%.2f", g / j }')
printf 'mixed.bin: cat %.3f s, jfif %.3f s, caches+all %.3f s: %sx cat, %sx jfif; %d cache(s)\n' \
  "$(awk -v n="$cat_ns" 'BEGIN { print n / 1e9 }')" "$(awk -v n="$jfif_ns" 'BEGIN { print n / 1e9 }')" \
  "$(awk -v n="$all_ns" 'BEGIN { print n / 1e9 }')" "$x_cat" "$x_jfif" "$caches"
awk -v r="$x_cat" 'BEGIN { exit !(r < 0.5) }' && { echo "  below the goal of 0.5x cat"; failed=1; }
awk -v r="$x_jfif" 'BEGIN { exit !(r > 1.3) }' && { echo "  above the goal of 1.3x jfif"; failed=1; }
(( caches >= 1 )) || { echo "  the Thumbs.db copied in was not found"; failed=1; }

for flood in "$work"/floods/*.bin; do
  bytes=$(stat -c %s "$flood")
  cpu_s=$(cpu_of "$cli" carve --no-verify --caches --kinds all "$flood")
  mbs=$(awk -v b="$bytes" -v s="$cpu_s" 'BEGIN { printf "%.0f", b / s / 1e6 }')
  printf '%s: %s MB/s of CPU time\n' "${flood#"$work"/}" "$mbs"
  (( mbs >= 50 )) || { echo "  below the goal of 50 MB/s"; failed=1; }
done
exit "$failed"
