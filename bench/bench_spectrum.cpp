// Amplitude spectra of a realistic slip-velocity pulse: the plain reference
// loop against the vector path, all 2512 lines, on one thread. The closing
// lines print how many times faster each fast variant is than the reference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pulse/spectrum.h"
#include "pulse/spectrum_lines.h"
#include "pulse/vslip.h"

namespace {

constexpr float dt = 0.01f;

// The velocity history of the example run (fmax 6, slip 4.65, vm 4.32) with
// the given ts: 2.8 s in the example, where the sums stop after 2.81 s; 12 s
// for a pulse that lasts the whole grid.
Samples pulse(float ts) {
  Samples tm, rate;
  for (int i = 1; i <= nt_grid; i++) tm(i) = static_cast<float>((i - 1) * static_cast<double>(dt));
  float td = static_cast<float>(1 / (6 * static_cast<double>(3.1415927f)));
  float tr = static_cast<float>((static_cast<double>(ts) + ts) / 3);
  vslip(tm, rate, nt_grid, 4.65f, td, 4.32f, tr, ts);
  return rate;
}

const Samples rate = pulse(2.8f);
const Samples long_rate = pulse(12.0f);

std::vector<float> all_om() {
  std::vector<float> om(nline);
  for (int i = 1; i <= nline; i++) om[i - 1] = line_om(i);
  return om;
}

const std::vector<float> om = all_om();

void BM_reference(benchmark::State& state) {
  std::vector<float> amp(nline);
  for (auto _ : state) {
    for (int k = 0; k < nline; k++)
      amp[k] = spectrum_reference(rate, nt_grid, dt, om[k]);
    benchmark::DoNotOptimize(amp.data());
  }
}
BENCHMARK(BM_reference)->Unit(benchmark::kMillisecond);

// The fast path as the writer calls it: blocks of consecutive lines.
void BM_lines(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  std::vector<float> amp(nline);
  for (auto _ : state) {
    for (int k = 0; k < nline; k += block)
      spectrum_lines(rate, nt_grid, dt, &om[k], std::min(block, nline - k), &amp[k]);
    benchmark::DoNotOptimize(amp.data());
  }
}
BENCHMARK(BM_lines)->Arg(16)->Arg(32)->Arg(nline)->Unit(benchmark::kMillisecond);

// Each instruction-set path the processor runs, blocks of 16 lines, on the
// example's pulse and on one that lasts the whole grid.
void BM_path(benchmark::State& state) {
  const Isa isa = static_cast<Isa>(state.range(0));
  const Samples& history = state.range(1) ? long_rate : rate;
  if (!isa_runs(isa)) {
    state.SkipWithError("instruction set not available");
    return;
  }
  std::vector<float> amp(nline);
  long fallbacks = 0;
  for (auto _ : state) {
    fallbacks = 0;
    for (int k = 0; k < nline; k += 16)
      fallbacks += spectrum_lines_on(isa, history, nt_grid, dt, &om[k],
                                     std::min(16, nline - k), &amp[k]);
    benchmark::DoNotOptimize(amp.data());
  }
  state.counters["fallbacks"] = static_cast<double>(fallbacks);
}
BENCHMARK(BM_path)
    ->ArgNames({"isa", "whole_grid"})
    ->ArgsProduct({{static_cast<int>(Isa::sse2), static_cast<int>(Isa::avx2),
                    static_cast<int>(Isa::avx512)},
                   {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Console output as usual, plus the time per iteration of every run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0)
        seconds[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // Speed-up of each fast variant over the reference.
  auto ref = reporter.seconds.find("BM_reference");
  if (ref == reporter.seconds.end()) return 0;
  for (const auto& [name, s] : reporter.seconds)
    if (name != ref->first)
      std::printf("speed-up %-24s %6.1fx\n", name.c_str(), ref->second / s);
  return 0;
}
