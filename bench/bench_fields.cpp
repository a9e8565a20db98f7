// The digits of one field, own against std::to_chars: a fixed-point field
// f15.5 and an exponent field e15.5 over the values of the example's
// slip_t.csv and slip_a.csv columns (0.01 to 1e4 and 1e-6 to 1e3). The
// whole run's difference is timed by bench/digits_bench.sh.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <vector>

#include "records/fixed_format.h"

namespace {

std::vector<float> values(double low, double high) {
  std::vector<float> v;
  for (int i = 0; i < 1024; i++)
    v.push_back(static_cast<float>(low * std::pow(high / low, i / 1023.0)));
  return v;
}

void BM_own_fixed(benchmark::State& state) {
  auto v = values(0.01, 1e4);
  char out[16];
  for (auto _ : state)
    for (float x : v) benchmark::DoNotOptimize(fixed_point_text(out, x, 15, 5));
  state.SetItemsProcessed(state.iterations() * v.size());
}
BENCHMARK(BM_own_fixed);

void BM_to_chars_fixed(benchmark::State& state) {
  auto v = values(0.01, 1e4);
  char out[64];
  for (auto _ : state)
    for (float x : v)
      benchmark::DoNotOptimize(
          std::to_chars(out, out + sizeof out, static_cast<double>(x), std::chars_format::fixed, 5));
  state.SetItemsProcessed(state.iterations() * v.size());
}
BENCHMARK(BM_to_chars_fixed);

void BM_own_exponent(benchmark::State& state) {
  auto v = values(1e-6, 1e3);
  char out[16];
  for (auto _ : state)
    for (float x : v) benchmark::DoNotOptimize(exponent_text(out, x, 15, 5));
  state.SetItemsProcessed(state.iterations() * v.size());
}
BENCHMARK(BM_own_exponent);

void BM_to_chars_exponent(benchmark::State& state) {
  auto v = values(1e-6, 1e3);
  char out[64];
  for (auto _ : state)
    for (float x : v)
      benchmark::DoNotOptimize(std::to_chars(out, out + sizeof out, static_cast<double>(x),
                                             std::chars_format::scientific, 4));
  state.SetItemsProcessed(state.iterations() * v.size());
}
BENCHMARK(BM_to_chars_exponent);

}  // namespace
