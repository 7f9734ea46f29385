# Timing helpers the carving benchmarks source.
now() { date +%s%N; }
# Best wall time of BEST_OF runs (3 unless set), in nanoseconds; a run that
# fails still counts.
best_ns() {
  local best=0 start elapsed
  for _ in $(seq "${BEST_OF:-3}"); do
    start=$(now)
    "$@" > /dev/null 2>&1 || true
    elapsed=$(( $(now) - start ))
    (( best == 0 || elapsed < best )) && best=$elapsed
  done
  echo "$best"
}
cat_file() { cat "$1" > /dev/null; }
cpu_of() {  # CPU seconds of one run, at least 0.01
  { /usr/bin/time -f '%U %S' "$@" > /dev/null; } 2>&1 | tail -1 |
    awk '{ s = $1 + $2; print (s < 0.01 ? 0.01 : s) }'
}
