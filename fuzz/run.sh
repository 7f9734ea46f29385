#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS seconds each and fails on any crash,
# leak, timeout (over 1 s for one input; see input_timeout), out-of-memory or
# sanitizer report.
#
#   fuzz/run.sh [SECONDS]          (default 60)
#
# FUZZ_BUILD_DIR  build folder of the fuzz preset (default build/fuzz)
# FUZZ_JOBS       targets run side by side (default 2)
# FUZZ_TARGETS    a space-separated subset of the targets below
#
# Each target's corpus lives in the build folder and grows from run to run.
# It is seeded afresh every run from the real caches beside the repository
# (../shared/corpus/real) and from tests/regression/inputs; the sample files
# are copied into the build folder only, never into the repository. Findings
# land in <build>/fuzz-run/<target>/findings; turn each into a regression
# case under tests/regression/inputs/<name>/.
#
# libFuzzer's -timeout counts wall-clock time: on a machine busy with other
# work, replay a timeout alone (<build>/fuzz/<target> -runs=20 <input>, under
# /usr/bin/time) before taking it for a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}
jobs=${FUZZ_JOBS:-2}
real=../shared/corpus/real
regression=tests/regression/inputs
dict=fuzz/thumbs.dict

all_targets=(fuzz_thumbs_cache fuzz_carve_scan fuzz_jpeg_walker fuzz_png_walker fuzz_info2
  fuzz_language_file fuzz_thumbcache fuzz_thumbcache_index fuzz_recycle_info fuzz_extract fuzz_container
  fuzz_search_index fuzz_location)
read -r -a targets <<<"${FUZZ_TARGETS:-${all_targets[*]}}"

# Largest input per target: big enough for the structures each parser
# follows (several compound-file sectors, a JPEG with its tables, a few
# index records, a language line longer than one piece, a container's
# headers and first tables), small enough to keep thousands of executions a
# second under the sanitizers.
declare -A max_len=(
  [fuzz_thumbs_cache]=16384 [fuzz_carve_scan]=16384 [fuzz_jpeg_walker]=16384
  [fuzz_png_walker]=16384
  [fuzz_info2]=4096 [fuzz_language_file]=16384 [fuzz_extract]=16384
  [fuzz_thumbcache]=16384 [fuzz_thumbcache_index]=16384 [fuzz_recycle_info]=2048
  [fuzz_container]=262144
  [fuzz_search_index]=65536
  [fuzz_location]=512
)
# Seconds one input may take (wall clock). One: a slow input is a fault, save
# where a library's own buffers make every input heavy. afflib zeroes and frees
# a page buffer of up to 16 MiB on each open and close, which AddressSanitizer
# fills and quarantines again: alone an AFF input takes 60 ms, but beside a
# second fuzzer on two cores one took over 3 s. A loop that never ends is
# still caught.
declare -A input_timeout=([fuzz_container]=10)

echo "== fuzz: building ${targets[*]} in $build"
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset fuzz -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]}"

# Copies `count` bytes from offset `at` of `file` into `out`.
slice() { tail -c +"$(($2 + 1))" "$1" | head -c "$3" >"$4" || true; }

# Fills $1 with the seeds of target $2.
seed() {
  local dir=$1 target=$2 f off n
  rm -rf "$dir" && mkdir -p "$dir"
  local short=${target#fuzz_}
  if [ -d "$regression/$short" ]; then
    find "$regression/$short" -type f ! -name '*.md' -exec cp {} "$dir/" \;
  fi
  if [ "$target" = fuzz_container ]; then
    # The public test images cut to the input limit, and small containers of
    # each kind made here.
    for f in "$real"/../images/*.vmdk "$real"/../images/*.vhd "$real"/../images/*.qcow2; do
      [ -f "$f" ] && slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$f")"
    done
    if command -v qemu-img >/dev/null; then
      for f in vmdk vpc qcow2; do qemu-img create -q -f "$f" "$dir/made.$f" 1M; done
      qemu-img create -q -f vmdk -o subformat=monolithicFlat "$dir/flat.vmdk" 64K
    fi
    if command -v affconvert >/dev/null; then
      head -c 65536 /dev/urandom >"$dir/made.raw"
      affconvert -q -o "$dir/made.aff" "$dir/made.raw" >/dev/null 2>&1 || true
      rm -f "$dir/made.raw"
    fi
    return
  fi
  [ -d "$real" ] || { echo "note: $real not found; seeding from the regression inputs only"; return; }
  case $target in
  fuzz_thumbs_cache | fuzz_carve_scan | fuzz_extract)
    # Whole caches, and each cut to the input limit so the fuzzer keeps a
    # copy that still holds the header, the FAT and the first streams.
    for f in "$real"/*Thumbs.db; do
      cp "$f" "$dir/"
      slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$f").head"
    done
    if [ "$target" = fuzz_carve_scan ]; then
      # Later caches hold BMP and PNG pictures: their first entries.
      for f in "$real"/thumbcache/*/thumbcache_*.db; do
        slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$(dirname "$f")")-$(basename "$f")"
      done
    fi
    ;;
  fuzz_png_walker)
    # The PNG pictures inside the later caches, each cut out from its signature.
    for f in "$real"/thumbcache/*/thumbcache_*.db; do
      n=0
      for off in $(grep -obUaP '\x89PNG' "$f" | cut -d: -f1); do
        slice "$f" "$off" "${max_len[$target]}" "$dir/$(basename "$(dirname "$f")")-$(basename "$f").$off.png"
        n=$((n + 1))
        ((n < 8)) || break
      done
    done
    ;;
  fuzz_jpeg_walker)
    # The images inside the caches, each cut out from its FF D8 FF.
    for f in "$real"/*Thumbs.db; do
      n=0
      for off in $(grep -obUaP '\xFF\xD8\xFF' "$f" | cut -d: -f1); do
        slice "$f" "$off" "${max_len[$target]}" "$dir/$(basename "$f").$off.jpg"
        n=$((n + 1))
        ((n < 8)) || break
      done
    done
    ;;
  fuzz_info2)
    find "$real/info2" -type f \( -name '*.INFO2' -o -name '*.INFO' \) -exec cp {} "$dir/" \;
    ;;
  fuzz_thumbcache)
    # The start of each real cache (a header and the first entries).
    for f in "$real"/thumbcache/*/thumbcache_*.db; do
      slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$(dirname "$f")")-$(basename "$f")"
    done
    ;;
  fuzz_thumbcache_index)
    for f in "$real"/thumbcache/*/thumbcache_idx.db "$real"/thumbcache/*/*.tmp; do
      slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$(dirname "$f")")-$(basename "$f")"
    done
    ;;
  fuzz_recycle_info)
    n=0
    while IFS= read -r -d '' f; do
      cp "$f" "$dir/info-$n"
      n=$((n + 1))
    done < <(find "$real/recyclebin" -type f -name '$I*' -print0)
    ;;
  fuzz_location)
    printf '%s' '/cases/laptop.E01#p2:i1234:/Documents and Settings/eve/Thumbs.db' >"$dir/volume"
    printf '%s' '/cases/laptop.E01#p2:s1:i1234:/Users/eve/thumbcache_96.db' >"$dir/store"
    printf '%s' '/x/a#p1:i2:/b.dd#p0:s512:i5:/c#p9:i9:/T.db' >"$dir/markers"
    ;;
  fuzz_search_index)
    # The start of each real index, and a small Windows.db with a few items
    # in 1 KiB pages, made afresh (the real ones are larger than an input).
    for f in "$real"/search-index/*/Windows.*; do
      slice "$f" 0 "${max_len[$target]}" "$dir/$(basename "$(dirname "$f")")-$(basename "$f")"
    done
    if command -v sqlite3 >/dev/null; then
      sqlite3 "$dir/small-Windows.db" "PRAGMA page_size = 1024;
        CREATE TABLE SystemIndex_1_PropertyStore_Metadata (Id INTEGER PRIMARY KEY, UniqueKey TEXT);
        CREATE TABLE SystemIndex_1_PropertyStore (WorkId INTEGER NOT NULL, ColumnId INTEGER NOT NULL,
          Value BLOB NOT NULL, PRIMARY KEY (WorkId, ColumnId)) WITHOUT ROWID;
        INSERT INTO SystemIndex_1_PropertyStore_Metadata VALUES (1, '4678-System_ThumbnailCacheId'),
          (2, '4447-System_ItemPathDisplay'), (3, '13F-System_Size'), (4, '15F-System_DateModified');
        INSERT INTO SystemIndex_1_PropertyStore VALUES (1, 1, X'0102030405060708'), (1, 2, 'C:\\a.jpg'),
          (1, 3, X'0004000000000000'), (1, 4, X'00C0A1A0D10ED501'), (2, 1, X'2A2A2A2A2A2A2A2A'),
          (2, 2, X'43003A005C00'), (3, 1, X'0102');"
    fi
    ;;
  fuzz_language_file)
    find lang -type f -name '*.lang' -exec cp {} "$dir/" \; 2>/dev/null || true
    ;;
  esac
}

# Runs one target; leaves its exit status in <work>/status.
run_target() {
  local target=$1 work=$build/fuzz-run/$1
  mkdir -p "$work/corpus" "$work/findings"
  seed "$work/seeds" "$target"
  local status=0
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout="${input_timeout[$target]:-1}" -rss_limit_mb=2048 \
    -max_len="${max_len[$target]}" -dict="$dict" -print_final_stats=1 \
    -artifact_prefix="$work/findings/" "$work/corpus" "$work/seeds" >"$work/log" 2>&1 ||
    status=$?
  # A sanitizer report that did not end the process still fails the run.
  if grep -qE 'runtime error:|ERROR: (Address|Leak|UndefinedBehavior)Sanitizer' "$work/log"; then
    ((status != 0)) || status=99
  fi
  echo "$status" >"$work/status"
}

rm -f "$build"/fuzz-run/*/status
running=0
for target in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  echo "== fuzz: $target for ${seconds}s"
  run_target "$target" &
  running=$((running + 1))
done
wait || true

failed=0
printf '%-20s %12s %8s  %s\n' target executions cov result
for target in "${targets[@]}"; do
  work=$build/fuzz-run/$target
  status=$(cat "$work/status" 2>/dev/null || echo 98)
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | grep -o '[0-9]*' || true)
  result=ok
  if [ "$status" != 0 ]; then
    result="FAILED (exit $status): see $work/log and $work/findings"
    failed=1
  fi
  printf '%-20s %12s %8s  %s\n' "$target" "${execs:-?}" "${cov:-?}" "$result"
done
if ((failed)); then
  for target in "${targets[@]}"; do
    work=$build/fuzz-run/$target
    [ "$(cat "$work/status" 2>/dev/null)" = 0 ] && continue
    echo "---- $target"
    grep -E -A12 'ERROR: |runtime error:|deadly signal|Test unit written' "$work/log" | head -40 || tail -20 "$work/log"
  done
  exit 1
fi
