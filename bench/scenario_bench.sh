#!/usr/bin/env bash
# What a scenario costs: the example scenario (examples/scenario.toml) on a
# grid of 0.1 x 0.1 km (24,000 subfaults) against the same fault written out
# by hand, its regions' answers (as the scenario's CSV gives them) in [pulse]
# and two [[area]] blocks, with MAGNITUDE (the same factor's search) and
# without, side by side in one hyperfine run on two cores.
#   bench/scenario_bench.sh [build directory]   (default: build)
#   BENCH_RUNS   timed runs of each command (default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${BENCH_RUNS:-10}
tool=$build/slipvel-fault

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

sed -e 's/^DLEN = 1.0/DLEN = 0.1/' -e 's/^DWID = 1.0/DWID = 0.1/' "$root/examples/scenario.toml" >scenario.toml
"$tool" -j 2 -o s.srf --csv s.csv scenario.toml >/dev/null

# The regions' answers (fmax, slip, vm, ts) from the first subfault of each.
answers() { awk -F, -v r="$1" '$19 == r { print "fmax = " $9 "\nslip = " $10 "\nvm = " $11 "\nts = " $12; exit }' s.csv; }
{
  sed '/^\[scenario\]/,$d' scenario.toml
  echo "[pulse]"; answers background
  # The asperities' rectangles of the derivation: 5.93296 and 4.19524 km squares.
  echo "[[area]]"; echo "along_strike = [-6.96648, -1.03352]"; echo "down_dip = [3.03352, 8.96648]"; answers "asperity 1"
  echo "[[area]]"; echo "along_strike = [3.90238, 8.09762]"; echo "down_dip = [5.90238, 10.09762]"; answers "asperity 2"
} >by-hand.toml
grep -v '^MAGNITUDE' by-hand.toml >by-hand-as-given.toml

hyperfine --warmup 1 --runs "$runs" \
  -n "scenario" "$tool -j 2 -o s.srf scenario.toml > /dev/null" \
  -n "by hand, MAGNITUDE" "$tool -j 2 -o h.srf by-hand.toml > /dev/null" \
  -n "by hand, as given" "$tool -j 2 -o g.srf by-hand-as-given.toml > /dev/null"
