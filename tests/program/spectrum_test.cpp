// Amplitude spectra: the vector path against the plain reference loop, bit
// for bit, and its cosine and sine against the library's rounding.
#include "pulse/spectrum.h"
#include "pulse/spectrum_lines.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr float dt = 0.01f;
constexpr float inf = std::numeric_limits<float>::infinity();
const float qnan = std::numeric_limits<float>::quiet_NaN();

// Every instruction-set path this processor runs.
std::vector<Isa> paths() {
  std::vector<Isa> out;
  for (Isa isa : {Isa::sse2, Isa::avx2, Isa::avx512})
    if (isa_runs(isa)) out.push_back(isa);
  return out;
}

const char* name(Isa isa) {
  return isa == Isa::avx512 ? "avx512" : isa == Isa::avx2 ? "avx2" : "sse2";
}

float grid_time(int j) { return static_cast<float>((j - 1) * static_cast<double>(dt)); }

std::vector<float> all_om() {
  std::vector<float> om(nline);
  for (int i = 1; i <= nline; i++) om[i - 1] = line_om(i);
  return om;
}

// Pulse like the example run's: parabola up to 4.32 m/s at td = 0.053 s,
// decay as 1/sqrt(t) to tr = 1.87 s, linear fall to zero at ts = 2.8 s.
Samples pulse() {
  const double vm = 4.32, td = 0.0530516468, tr = 1.86666667, ts = 2.8;
  Samples rate;
  for (int j = 1; j <= nt_grid; j++) {
    double t = grid_time(j);
    double v = t <= td   ? vm * (t / td) * (2 - t / td)
               : t <= tr ? vm * std::sqrt(td / t)
               : t <= ts ? vm * std::sqrt(td / tr) * (ts - t) / (ts - tr)
                         : 0.0;
    rate(j) = static_cast<float>(v);
  }
  return rate;
}

// Zero history with the given samples set.
Samples spikes(std::initializer_list<std::pair<int, float>> set) {
  Samples rate;
  for (auto [j, v] : set) rate(j) = v;
  return rate;
}

// Samples spread over many binades with random signs, from a fixed seed.
Samples random_history(unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> mant(-1, 1);
  std::uniform_int_distribution<int> exp(-20, 20);
  Samples rate;
  for (int j = 1; j <= capacity; j++)
    rate(j) = static_cast<float>(std::ldexp(mant(gen), exp(gen)));
  return rate;
}

std::vector<float> reference(const Samples& rate, int nt, float step,
                             const std::vector<float>& om) {
  std::vector<float> amp(om.size());
  for (size_t k = 0; k < om.size(); k++)
    amp[k] = spectrum_reference(rate, nt, step, om[k]);
  return amp;
}

// The vector path in blocks of `block` lines; returns its fallback count.
long fast(Isa isa, const Samples& rate, int nt, float step,
          const std::vector<float>& om, int block, std::vector<float>& amp) {
  const int n = static_cast<int>(om.size());
  amp.assign(n, -1);
  long fallbacks = 0;
  for (int k = 0; k < n; k += block)
    fallbacks += spectrum_lines_on(isa, rate, nt, step, &om[k], std::min(block, n - k), &amp[k]);
  return fallbacks;
}

// Index of the first line whose bits differ, or -1.
int first_difference(const std::vector<float>& a, const std::vector<float>& b) {
  for (size_t k = 0; k < a.size(); k++)
    if (std::memcmp(&a[k], &b[k], sizeof(float)) != 0) return static_cast<int>(k);
  return -1;
}

void expect_paths_match(const Samples& rate, int nt, float step,
                        const std::vector<float>& om, std::initializer_list<int> blocks) {
  const std::vector<float> want = reference(rate, nt, step, om);
  std::vector<float> got;
  for (Isa isa : paths())
    for (int block : blocks) {
      fast(isa, rate, nt, step, om, block, got);
      int k = first_difference(want, got);
      EXPECT_EQ(k, -1) << name(isa) << " block " << block << ": om " << om[k]
                       << " gives " << got[k] << ", reference " << want[k];
    }
}

}  // namespace

// The phases of the whole grid do not depend on the answers or the
// history: matching the library's rounding on all 2,512,000 of them proves
// the kernel for every run of the program.
TEST(SpectrumSincos, WholeGridRoundsAsTheLibrary) {
  std::vector<float> theta;
  theta.reserve(static_cast<size_t>(nline) * (nt_grid - 1));
  for (int i = 1; i <= nline; i++)
    for (int j = 2; j <= nt_grid; j++)
      theta.push_back(static_cast<float>(static_cast<double>(line_om(i)) * grid_time(j)));
  std::vector<float> want_c(theta.size()), want_s(theta.size()), c(theta.size()), s(theta.size());
  for (size_t k = 0; k < theta.size(); k++) {
    want_c[k] = static_cast<float>(std::cos(static_cast<double>(theta[k])));
    want_s[k] = static_cast<float>(std::sin(static_cast<double>(theta[k])));
  }
  for (Isa isa : paths()) {
    long fallbacks = phase_sincos(isa, theta.data(), static_cast<int>(theta.size()), c.data(), s.data());
    EXPECT_EQ(first_difference(want_c, c), -1) << name(isa);
    EXPECT_EQ(first_difference(want_s, s), -1) << name(isa);
    std::cout << "[ " << name(isa) << " ] " << theta.size() << " phases, " << fallbacks
              << " recomputed by the library\n";
    RecordProperty(std::string("fallbacks_") + name(isa), static_cast<int>(fallbacks));
  }
}

// Phases where reduction or range matter most: zero, the floats nearest to
// multiples of pi/2 across the range, the range edge, and beyond it.
TEST(SpectrumSincos, HardPhasesRoundAsTheLibrary) {
  std::vector<float> theta = {0.0f, -0.0f, 1e-30f, FLT_MIN, 0.785398f, -0.785398f,
                              3200.0f, -3200.0f, std::nextafter(3200.0f, inf), 1e6f,
                              FLT_MAX, inf, -inf, qnan,
                              // Off the program's grid, near float midpoints
                              // of cos or sin: a narrower guard gets them wrong.
                              2.48638916f, 456.280914f};
  for (int k = 1; k <= 2040; k++) {
    float near = static_cast<float>(k * 1.5707963267948966);
    for (float f : {std::nextafter(near, 0.0f), near, std::nextafter(near, inf)}) {
      theta.push_back(f);
      theta.push_back(-f);
    }
  }
  const int n = static_cast<int>(theta.size());
  for (Isa isa : paths()) {
    std::vector<float> c(n), s(n);
    phase_sincos(isa, theta.data(), n, c.data(), s.data());
    for (int k = 0; k < n; k++) {
      float wc = static_cast<float>(std::cos(static_cast<double>(theta[k])));
      float ws = static_cast<float>(std::sin(static_cast<double>(theta[k])));
      if (std::isnan(wc) || std::isnan(ws)) {
        EXPECT_TRUE(std::isnan(c[k]) && std::isnan(s[k])) << theta[k];
        continue;
      }
      EXPECT_EQ(std::memcmp(&c[k], &wc, sizeof(float)), 0) << name(isa) << " cos " << theta[k];
      EXPECT_EQ(std::memcmp(&s[k], &ws, sizeof(float)), 0) << name(isa) << " sin " << theta[k];
    }
  }
}

// The realistic history: every path and block size equals the reference on
// all 2512 lines; the fallback count of the run is reported.
TEST(SpectrumLines, PulseMatchesReference) {
  const std::vector<float> om = all_om();
  const Samples rate = pulse();
  expect_paths_match(rate, nt_grid, dt, om, {1, 3, 16, 17, nline});
  std::vector<float> amp;
  long fallbacks = fast(widest_isa(), rate, nt_grid, dt, om, 16, amp);
  std::cout << "[ " << name(widest_isa()) << " ] pulse: " << fallbacks
            << " phases recomputed by the library\n";
  RecordProperty("fallbacks_pulse", static_cast<int>(fallbacks));
}

// Constructed histories: empty, isolated samples at the edges and inside,
// non-finite and extreme values. NaN and infinity must flow the same way.
TEST(SpectrumLines, ConstructedHistoriesMatchReference) {
  const std::vector<float> om = all_om();
  struct Case {
    const char* what;
    Samples rate;
  };
  const Case cases[] = {
      {"all zero", Samples{}},
      {"spike at sample 1", spikes({{1, 3.5f}})},
      {"spike at inner sample", spikes({{500, -2.25f}})},
      {"spike at last sample", spikes({{nt_grid, 1.75f}})},
      // The sums may stop after the last non-zero sample: negative zeros
      // after it are zeros too, and the step after it still counts.
      {"negative zeros after the last sample", spikes({{600, 1.5f}, {601, -0.0f}, {nt_grid, -0.0f}})},
      {"NaN sample", spikes({{300, 1.0f}, {301, qnan}, {302, 2.0f}})},
      {"+inf sample", spikes({{40, inf}})},
      {"-inf sample", spikes({{41, -inf}})},
      {"+inf and -inf", spikes({{40, inf}, {700, -inf}})},
      {"near FLT_MAX", spikes({{10, FLT_MAX}, {11, FLT_MAX}, {12, -FLT_MAX}})},
      {"denormals", spikes({{2, FLT_TRUE_MIN}, {3, -FLT_TRUE_MIN}, {900, 1e-39f}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_paths_match(c.rate, nt_grid, dt, om, {1, 3, 17, nline});
  }
}

// Histories with random magnitudes and signs (fixed seeds).
TEST(SpectrumLines, RandomHistoriesMatchReference) {
  const std::vector<float> om = all_om();
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    expect_paths_match(random_history(seed), nt_grid, dt, om, {3, 17, nline});
  }
}

// Other grids: a single step, 64 steps and one (a tile boundary), the full
// capacity, another dt, a negative dt.
TEST(SpectrumLines, OtherGridsMatchReference) {
  const Samples rate = random_history(7);
  const std::vector<float> few = {0.1f, 3.3f, 77.7f, 251.2f, 319.0f, -5.5f};
  struct Grid {
    int nt;
    float dt;
  };
  for (Grid g : {Grid{2, dt}, Grid{66, dt}, Grid{130, dt}, Grid{capacity, dt}, Grid{1001, 0.005f}, Grid{1001, -0.01f}}) {
    SCOPED_TRACE(g.nt);
    expect_paths_match(rate, g.nt, g.dt, few, {1, 3, 8});
  }
}

// Lines whose phases leave the kernel's range take the library path; next
// to an in-range line in the same block too. A single inner sample makes
// the amplitude follow the cos and sin of one phase closely. An early one
// leaves zeros that still count: at FLT_MAX the phases overflow from 1 s
// on, and 0 * cos(inf) is NaN.
TEST(SpectrumLines, LinesBeyondRangeMatchReference) {
  const std::vector<float> om = {321.0f, 1e4f, 3e7f, 3e30f, FLT_MAX, 251.2f, qnan, inf, 0.0f};
  for (const Samples& rate : {spikes({{977, 1.3f}}), spikes({{50, 1.3f}}), random_history(8)})
    expect_paths_match(rate, nt_grid, dt, om, {1, 3, 9});
}

// Amplitudes the physics predicts for simple histories, at every line.
TEST(SpectrumLines, SimpleHistoriesGiveKnownAmplitudes) {
  const std::vector<float> om = all_om();
  const float v = -2.5f;
  struct Case {
    const char* what;
    Samples rate;
    double want;  // velocity amplitude at every line
  };
  const Case cases[] = {
      {"zero history: zero", Samples{}, 0.0},
      {"sample 1 never enters the sum", spikes({{1, v}}), 0.0},
      {"inner sample: |v| dt", spikes({{437, v}}), std::fabs(v) * double(dt)},
      {"last sample: |v| dt / 2", spikes({{nt_grid, v}}), std::fabs(v) * double(dt) / 2},
  };
  std::vector<float> amp(nline);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spectrum_lines(c.rate, nt_grid, dt, om.data(), nline, amp.data());
    for (int k = 0; k < nline; k++) {
      if (c.want == 0) {
        ASSERT_EQ(amp[k], 0.0f) << om[k];
      } else {
        ASSERT_NEAR(amp[k], c.want, c.want * 4e-7) << om[k];
      }
    }
  }
}
