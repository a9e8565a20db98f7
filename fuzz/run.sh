#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (and AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the committed seeds. Fails on any crash, broken property, leak or timeout.
#   FUZZ_SECONDS  run time per target (default 20)
#   FUZZ_BUILD    build directory (default <repo>/build-fuzz)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
cxx=${FUZZ_CXX:-clang++-14}
command -v "$cxx" >/dev/null || cxx=clang++

# The targets are CMake targets of the main build (SLIPVEL_FUZZ: the same
# layers and flags, with the sanitizers and libFuzzer's instrumentation).
mkdir -p "$out"
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$(command -v "$cxx")" \
  -DSLIPVEL_FUZZ=ON -DSLIPVEL_TESTS=OFF -DSLIPVEL_BENCH=OFF >"$out/configure.log" 2>&1 ||
  { cat "$out/configure.log"; exit 1; }
cmake --build "$out" -j 2 --target fuzz
mkdir -p "$out/artifacts"

total=0
# Runs one built target from its committed seeds for the bounded time.
fuzz_one() {
  local target=$1
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  work=$(mktemp -d)
  log="$out/fuzz_$target.log"
  if ! "$out/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=70000 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
      "$work" "$here/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz_$target: FAILED (log: $log, inputs: $out/artifacts)"
    rm -rf "$work"
    exit 1
  fi
  rm -rf "$work"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz_$target: ${runs:-?} inputs in ${seconds} s, no finding"
  total=$((total + ${runs:-0}))
}
for target in dialogue slip_t writers description srf; do
  [ -x "$out/fuzz/fuzz_$target" ] || { echo "fuzz_$target: not built"; exit 1; }
  fuzz_one "$target"
done

echo "fuzz: $total inputs in all"
