#!/usr/bin/env bash
# slipvel-batch against a plain two-worker loop of direct runs on the same
# table: rows per second of `slipvel-batch -j 2` and of `xargs -P 2` running
# the program once per row in a folder of its own (mkdir, answers on
# standard input, stdout.txt and stderr.txt, as the batch writes them). The
# two alternate, run for run, so that both meet the same load of the
# machine; the medians, their ratio and the load average are printed.
#   bench/batch_bench.sh [build directory]   (default: build)
#   BENCH_ROWS   rows of the table (default 500)
#   BENCH_RUNS   runs of each (default 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rows=${BENCH_ROWS:-500}
runs=${BENCH_RUNS:-7}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The example answers and a few others, all complete runs.
awk -v n="$rows" 'BEGIN {
  print "id,fmax,slip,vm,ts"
  split("6,4.65,4.32,2.8 5,3.1,2.9,3.4 8,1.2,1.5,1.9 4,6,3,5", a, " ")
  for (k = 1; k <= n; k++) printf "p%04d,%s\n", k, a[1 + k % 4]
}' >table.csv

# The loop: one shell per row, two at a time.
loop() {
  tail -n +2 table.csv | tr , ' ' | xargs -P 2 -L 1 sh -c \
    'mkdir -p "loop/$1" && cd "loop/$1" && printf "%s\n" "$2" "$3" "$4" "$5" | "$0" >stdout.txt 2>stderr.txt' \
    "$build/slipvel"
}

# Appends the wall time and the CPU time (user + system, all processes) of
# the command "$@" to the file $1, in seconds.
timed() {
  local file=$1
  shift
  /usr/bin/time -f "%e %U %S" -a -o "$file" "$@" >/dev/null
}

# The median of column $1 (1 wall, 2 CPU) of a file of times.
median() {
  awk -v c="$1" '{ print (c == 1) ? $1 : $2 + $3 }' "$2" | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >batch.times
: >loop.times
for ((k = 1; k <= runs; k++)); do
  rm -rf out loop
  timed batch.times "$build/slipvel-batch" -j 2 table.csv out
  timed loop.times bash -c "$(declare -f loop); build='$build'; loop"
done
# Every row of the last runs complete and the same in both.
for id in p0001 "p$(printf %04d "$rows")"; do
  for f in slip_t.csv slip_a.csv slip_vel-5triangle.csv parameter.csv stdout.txt; do
    cmp -s "out/$id/$f" "loop/$id/$f" || { echo "out/$id/$f differs from a direct run" >&2; exit 1; }
  done
done

awk -v rows="$rows" -v runs="$runs" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" \
    -v b="$(median 1 batch.times)" -v p="$(median 1 loop.times)" \
    -v bc="$(median 2 batch.times)" -v pc="$(median 2 loop.times)" \
    -v cores="$(nproc)" 'BEGIN {
  printf "%d rows, %d runs each, %d cores, load average %s\n", rows, runs, cores, load
  printf "slipvel-batch -j 2: median %6.3f s  %6.1f rows/s  CPU %5.2f ms a row\n", b, rows / b, 1000 * bc / rows
  printf "xargs -P 2 loop:    median %6.3f s  %6.1f rows/s  CPU %5.2f ms a row\n", p, rows / p, 1000 * pc / rows
  printf "batch / loop rows per second: %.2f\n", p / b
}'
