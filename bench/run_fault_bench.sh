#!/usr/bin/env bash
# The fault tool as a process: a 100 x 100-subfault fault of the example
# answers on one and on two cores, side by side in one hyperfine run with one
# direct run of the program on the same answers; then the peak memory (RSS)
# at 10^3, 10^5 and 10^6 subfaults. Ends with the time per subfault, its
# share of a direct run (goal: at most 1% on one core), subfaults a second,
# and the SRF's bytes per subfault.
#   bench/run_fault_bench.sh [build directory]   (default: build)
#   BENCH_RUNS   timed runs of each command (default 10)
#   BENCH_MILLION=0   skip the 10^6-subfault memory run (about 4 GB of SRF)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${BENCH_RUNS:-10}
tool=$build/slipvel-fault

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fault() { "$root/bench/uniform_fault.sh" "$@"; }
fault 100 100 >f1e4.toml
printf '6\n4.65\n4.32\n2.8\n' >answers

hyperfine --warmup 2 --runs "$runs" --export-csv times.csv \
  -n "direct run" "$build/slipvel < answers > /dev/null" \
  -n "fault -j 1" "$tool -j 1 -o f.srf f1e4.toml > /dev/null" \
  -n "fault -j 2" "$tool -j 2 -o f.srf f1e4.toml > /dev/null"
bytes=$(stat -c %s f.srf)

awk -F, -v bytes="$bytes" 'NR > 1 { median[$1] = $4 }
  END {
    direct = median["direct run"]; one = median["fault -j 1"] / 1e4; two = median["fault -j 2"] / 1e4
    printf "direct run of the program: %.2f ms\n", 1000 * direct
    printf "a subfault, one core:  %.1f us (%.2f%% of a direct run; goal 1%%), %.0f subfaults/s\n", 1e6 * one, 100 * one / direct, 1 / one
    printf "a subfault, two cores: %.1f us, %.0f subfaults/s\n", 1e6 * two, 1 / two
    printf "SRF: %d bytes a subfault\n", bytes / 1e4
  }' times.csv

# Peak memory: the SRF is streamed, so it does not grow with the fault.
sizes=("40 25" "400 250")
[ "${BENCH_MILLION:-1}" = 0 ] || sizes+=("1000 1000")
for nm in "${sizes[@]}"; do
  set -- $nm
  fault "$1" "$2" >big.toml
  /usr/bin/time -f "%M" -o rss "$tool" -j 2 -o big.srf big.toml >/dev/null
  awk -v n=$(($1 * $2)) -v kb="$(cat rss)" -v b="$(stat -c %s big.srf)" \
    'BEGIN { printf "peak memory at %d subfaults: %.1f MB (SRF %.2f GB)\n", n, kb / 1024, b / 1e9 }'
  rm -f big.srf
done
