#!/usr/bin/env bash
# Whether the hand-written digits of decimal_digits.cpp pay: the whole run
# as a process, built as usual and built with every digit from
# std::to_chars (SLIPVEL_LIBRARY_DIGITS), timed side by side in one
# hyperfine run; both must write the same bytes. Ends with the medians and
# the ratio.
#   bench/digits_bench.sh [build directory]   (default: build)
#   BENCH_RUNS   timed runs of each command (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
library=$build/library-digits
runs=${BENCH_RUNS:-60}
command -v hyperfine >/dev/null || { echo "hyperfine missing (make bench installs it)" >&2; exit 1; }

cmake -S "$root" -B "$library" -DCMAKE_BUILD_TYPE=Release -DSLIPVEL_LIBRARY_DIGITS=ON \
  -DSLIPVEL_TESTS=OFF -DSLIPVEL_BENCH=OFF >/dev/null
cmake --build "$library" --target slipvel -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '6\n4.65\n4.32\n2.8\n' >"$work/answers"
mkdir "$work/own" "$work/library"
(cd "$work/own" && "$build/slipvel" <../answers >stdout.txt)
(cd "$work/library" && "$library/slipvel" <../answers >stdout.txt)
diff -r "$work/own" "$work/library" >/dev/null || { echo "the two builds differ" >&2; exit 1; }

cd "$work"
hyperfine --warmup 10 --runs "$runs" --export-csv times.csv \
  -n "own digits" "$build/slipvel < answers > /dev/null" \
  -n "std::to_chars" "$library/slipvel < answers > /dev/null"
# Columns: command, mean, stddev, median, user, system, ...; seconds. The
# processor time (user) is steadier than the wall time on a shared machine.
awk -F, 'NR > 1 { median[$1] = $4; user[$1] = $5 }
  END {
    for (name in median)
      printf "%-14s median %6.2f ms, user %6.2f ms\n", name, 1000 * median[name], 1000 * user[name]
    printf "std::to_chars / own digits: median %.3f, user %.3f\n",
      median["std::to_chars"] / median["own digits"], user["std::to_chars"] / user["own digits"]
  }' times.csv
