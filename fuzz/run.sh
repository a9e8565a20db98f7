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

# Division by zero and NaN are part of the arithmetic (exceptions are
# masked), so the float-divide-by-zero check stays off; no fused
# multiply-adds, as in the program's own build.
flags=(-std=c++20 -O2 -g -ffp-contract=off -fno-fast-math
       -fsanitize=address,undefined -fno-sanitize=float-divide-by-zero
       -fno-sanitize-recover=all -fno-omit-frame-pointer -I"$root/src" -I"$here")

# The record layer and the read-back stage, built once for all targets.
mkdir -p "$out/obj" "$out/artifacts"
objects=()
for src in "$root"/src/records/*.cpp "$root"/src/windows/read_slip_t.cpp "$here"/fuzz_support.cpp; do
  obj="$out/obj/$(basename "${src%.cpp}").o"
  "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  objects+=("$obj")
done

total=0
# Runs one built target from its committed seeds for the bounded time.
fuzz_one() {
  local target=$1
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  work=$(mktemp -d)
  log="$out/fuzz_$target.log"
  if ! "$out/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
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
for target in dialogue slip_t writers; do
  "$cxx" "${flags[@]}" -fsanitize=fuzzer "$here/fuzz_$target.cpp" "${objects[@]}" \
    -o "$out/fuzz_$target"
  fuzz_one "$target"
done
# The fault description's and the SRF reader's targets: the fault tool and
# the slip model, with toml++ and GeographicLib as the system has them.
fault_objects=()
for src in "$root"/src/fault/*.cpp "$root"/src/slip/vslip.cpp "$root"/src/slip/pulse_times.cpp; do
  [ "$(basename "$src")" = main.cpp ] && continue
  obj="$out/obj/fault-$(basename "${src%.cpp}").o"
  "$cxx" "${flags[@]}" $(pkg-config --cflags tomlplusplus geographiclib) -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  fault_objects+=("$obj")
done
for target in description srf; do
  "$cxx" "${flags[@]}" $(pkg-config --cflags tomlplusplus) -fsanitize=fuzzer "$here/fuzz_$target.cpp" \
    "${fault_objects[@]}" "${objects[@]}" $(pkg-config --libs tomlplusplus geographiclib) -pthread \
    -o "$out/fuzz_$target"
  fuzz_one "$target"
done

echo "fuzz: $total inputs in all"
