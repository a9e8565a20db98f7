#!/usr/bin/env bash
# The whole run as a process, timed side by side in one hyperfine run: the
# example run with standard output to /dev/null, the same run into a pipe
# that cat reads, and the plain spectrum loop alone (2,512,000 library
# sin/cos pairs). Ends with the medians and how many times faster the run is
# than the plain loop.
#   bench/run_bench.sh [build directory]   (default: build)
#   BENCH_RUNS   timed runs of each command (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${BENCH_RUNS:-60}

if ! command -v hyperfine >/dev/null; then
  if [ "$(id -u)" != 0 ]; then
    echo "hyperfine missing (as root: apt-get install hyperfine)" >&2
    exit 1
  fi
  apt-get update -q && apt-get install -y -q hyperfine
fi

# The run writes its four files into a scratch directory.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '6\n4.65\n4.32\n2.8\n' >"$work/answers"
cd "$work"
hyperfine --warmup 10 --runs "$runs" --export-csv times.csv \
  -n "run > /dev/null" "$build/slipvel < answers > /dev/null" \
  -n "run | cat" "$build/slipvel < answers | cat > /dev/null" \
  -n "plain loop" "$build/slipvel_plain_loop > /dev/null"

# Columns: command, mean, stddev, median, ...; times in seconds.
awk -F, 'NR > 1 { median[$1] = $4 }
  END {
    plain = median["plain loop"]
    for (name in median) printf "median %-16s %7.2f ms\n", name, 1000 * median[name]
    printf "run > /dev/null: %.1fx faster than the plain loop\n", plain / median["run > /dev/null"]
    printf "run | cat:       %.1fx faster than the plain loop\n", plain / median["run | cat"]
  }' times.csv
