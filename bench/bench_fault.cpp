// One subfault of a fault run on one thread: the pulse alone (vslip on the
// grid and its checks), and the pulse with its SRF text (two point lines and
// the slip-rate samples), for the example answers.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <vector>

#include "srf/srf_write.h"
#include "fault/subfault_pulse.h"
#include "pulse/pulse_times.h"

namespace {

const Answers example{6, 4.65f, 4.32f, 2.8f};

void BM_SubfaultPulse(benchmark::State& state) {
  PulseGrid tm(example.ts);
  SubfaultPulse pulse;
  for (auto _ : state) {
    compute_pulse(tm, example, 1, 1, pulse);
    benchmark::DoNotOptimize(pulse.rate[10]);
  }
}
BENCHMARK(BM_SubfaultPulse);

void BM_SubfaultPulseAndSrf(benchmark::State& state) {
  PulseGrid tm(example.ts);
  SubfaultPulse pulse;
  SrfPoint f;
  f.lon = -118.5, f.lat = 34.3, f.dep = 5.3, f.stk = 122, f.dip = 40, f.area = 1e10, f.tinit = 5.7, f.dt = 0.01;
  f.has_medium = true, f.vs = 3.5e5, f.den = 2.7, f.rake = 105;
  std::string out;
  for (auto _ : state) {
    out.clear();
    compute_pulse(tm, example, 1, 1, pulse);
    benchmark::DoNotOptimize(append_srf_point(out, f, pulse.rate.data(), pulse.nt1));
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_SubfaultPulseAndSrf);

// Reading the 282 printed samples of the example pulse back: from_chars
// against the integer path of printed_value, side by side.
std::vector<std::string> sample_texts() {
  PulseGrid tm(example.ts);
  SubfaultPulse pulse;
  compute_pulse(tm, example, 1, 1, pulse);
  std::vector<std::string> texts;
  for (int k = 1; k <= pulse.nt1; k++) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(pulse.rate[k - 1]) * 100,
                           std::chars_format::scientific, 5);
    texts.emplace_back(buf, r.ptr);
  }
  return texts;
}

void BM_SamplesBackFromChars(benchmark::State& state) {
  std::vector<std::string> texts = sample_texts();
  for (auto _ : state) {
    double sum = 0;
    for (const auto& t : texts) {
      double v = 0;
      std::from_chars(t.data(), t.data() + t.size(), v);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SamplesBackFromChars);

void BM_SamplesBackIntegers(benchmark::State& state) {
  std::vector<std::string> texts = sample_texts();
  for (auto _ : state) {
    double sum = 0;
    for (const auto& t : texts) sum += printed_value(t.data(), t.size());
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SamplesBackIntegers);

}  // namespace
