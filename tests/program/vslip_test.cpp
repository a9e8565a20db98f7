// Slip-velocity pulse and the search for its boundary time tb.
#include "pulse/vslip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The four answers of the dialogue, td and tr derived as the driver does.
struct Answers {
  float fmax, slip, vm, ts;
  float td() const { return static_cast<float>(1.0 / (double(fmax) * 3.1415927f)); }
  float tr() const { return static_cast<float>((double(ts) + ts) / 3); }
};

constexpr Answers example{6, 4.65f, 4.32f, 2.8f};
constexpr float sentinel = 7.25f;  // marks slots that must stay untouched

struct Pulse {
  Samples tm, rate;
  SlipSearch out;
};

// Grid of 1001 samples 0.01 s apart, rate pre-filled with the sentinel.
Pulse pulse(const Answers& a) {
  Pulse r;
  for (int i = 1; i <= nt_grid; i++)
    r.tm(i) = static_cast<float>((i - 1) * double(0.01f));
  for (float& v : r.rate.v) v = sentinel;
  r.out = vslip(r.tm, r.rate, nt_grid, a.slip, a.td(), a.vm, a.tr(), a.ts);
  return r;
}

Answers with_slip(float slip) { return {6, slip, 4.32f, 2.8f}; }

// Sum of the samples in double: changes with the last bit of any sample.
double sample_sum(const Pulse& r) {
  double sum = 0;
  for (int k = 1; k <= nt_grid; k++) sum += r.rate(k);
  return sum;
}

}  // namespace

// The example answers: search outcome pinned to the bit, and to the
// published digits.
TEST(Vslip, ExampleSearch) {
  EXPECT_EQ(example.td(), 0.0530516468f);
  EXPECT_EQ(example.tr(), 1.86666667f);
  Pulse r = pulse(example);
  const SlipSearch& s = r.out;
  EXPECT_TRUE(s.converged);
  EXPECT_EQ(s.forward_steps, 0);
  EXPECT_EQ(s.calls, 14);
  EXPECT_EQ(s.tb, 0.0563020967f);
  EXPECT_EQ(s.eps, -0.1584782f);
  EXPECT_EQ(s.b, 1.99456239f);
  EXPECT_EQ(s.c, 1.40158546f);
  EXPECT_EQ(s.ar, 1.50169885f);
  EXPECT_NEAR(s.tb, 0.0563021, 5e-8);
  EXPECT_NEAR(s.b, 1.994562, 5e-7);
  EXPECT_NEAR(s.c, 1.401585, 5e-7);
  EXPECT_NEAR(s.ar, 1.501699, 5e-7);
}

// The example samples on each piece of the pulse: exact float, then the
// published digits; rate(281) sits on ts and is not forced to zero.
TEST(Vslip, ExampleSamples) {
  struct Case { int k; float exact; double shown, tol; };
  const Case cases[] = {
      {1, 0.0f, 0.0, 0},                        // t = 0
      {2, 1.47510958f, 1.475110, 5e-7},         // parabola
      {6, 4.30570602f, 4.305706, 5e-7},         // parabola, the peak sample
      {11, 3.92315674f, 3.923157, 5e-7},        // decay piece
      {187, 1.40389812f, 1.403898, 5e-7},       // decay piece, last before tr
      {188, 1.39657974f, 1.396580, 5e-7},       // linear piece
      {281, -5.15628500e-08f, -5.2e-8, 5e-10},  // linear piece at ts
  };
  Pulse r = pulse(example);
  for (const Case& c : cases) {
    EXPECT_EQ(r.rate(c.k), c.exact) << "k = " << c.k;
    EXPECT_NEAR(r.rate(c.k), c.shown, c.tol) << "k = " << c.k;
  }
  double sum = 0;
  for (int k = 1; k <= nt_grid; k++) {
    EXPECT_LE(r.rate(k), r.rate(6)) << "k = " << k;
    if (k >= 282) { EXPECT_EQ(r.rate(k), 0.0f) << "k = " << k; }
    sum += r.rate(k) * double(0.01f);
  }
  EXPECT_NEAR(sum, 4.6476, 5e-5);
  // Slots beyond nt belong to the caller.
  for (int k = nt_grid + 1; k <= capacity; k++) ASSERT_EQ(r.rate(k), sentinel);
}

// The samples use the coefficients of the last trial, tb + 2h (residual
// negative), not those of tb (residual positive): each rounding point of
// tslip shows in these bits.
TEST(Tslip, ExampleTrialPoints) {
  const float td = example.td(), tr = example.tr(), ts = example.ts;
  const float am = static_cast<float>((double(example.vm) + example.vm) / td);
  EXPECT_EQ(am, 162.860168f);
  struct Case { float tb, res, b, c, ar, eps; };
  const Case cases[] = {
      {0.0535821617f, 2.9854908f, 4.97437716f, 2.80753994f, 3.00807858f, -1.27258039f},
      {0.0563020967f, 0.00541786849f, 1.99862254f, 1.40413511f, 1.50443053f, -0.159353569f},
      {0.0563150495f, -0.0010226965f, 1.99456239f, 1.40158546f, 1.50169885f, -0.1584782f},
      {0.107103296f, -4.34450436f, 0, 0, 0, 0.107103296f},  // beyond 2 td: no decay
  };
  for (const Case& k : cases) {
    float res, b, c, ar, eps;
    tslip(res, example.slip, k.tb, am, td, tr, ts, b, c, ar, eps);
    EXPECT_EQ(res, k.res) << "tb = " << k.tb;
    EXPECT_EQ(b, k.b) << "tb = " << k.tb;
    EXPECT_EQ(c, k.c) << "tb = " << k.tb;
    EXPECT_EQ(ar, k.ar) << "tb = " << k.tb;
    EXPECT_EQ(eps, k.eps) << "tb = " << k.tb;
  }
}

// A sweep of trial boundaries across (td, 2 td]: the sums change with the
// last bit of any output, so each rounding point of tslip is pinned.
TEST(Tslip, SweepFingerprint) {
  const float td = example.td(), tr = example.tr(), ts = example.ts;
  const float am = static_cast<float>((double(example.vm) + example.vm) / td);
  double sres = 0, sb = 0, sc = 0, sar = 0, seps = 0;
  for (int i = 1; i <= 200; i++) {
    float tb = static_cast<float>(td * (1 + i / 200.0));
    float res, b, c, ar, eps;
    tslip(res, example.slip, tb, am, td, tr, ts, b, c, ar, eps);
    sres += res, sb += b, sc += c, sar += ar, seps += eps;
  }
  EXPECT_EQ(sres, -551.10744416713715);
  EXPECT_EQ(sb, 138.81128484464716);
  EXPECT_EQ(sc, 97.218122777529061);
  EXPECT_EQ(sar, 104.16228058072738);
  EXPECT_EQ(seps, 1.6829879799624905);
}

// Targets around the two thresholds of the walk (7.6355 m: the pulse at
// 1.01 td; 0.30555 m: the parabola up to 2.01 td) and far beyond them; the
// sample sums catch a rounding change anywhere on the grid.
TEST(Vslip, Thresholds) {
  struct Case { float slip; int steps, calls; float tb; double sum; };
  const Case cases[] = {
      {4.65f, 0, 14, 0.0563020967f, 464.75888491294796},
      {7.63f, 0, 14, 0.0535821617f, 759.87923288819832},  // tb = 1.01 td
      {7.64f, 34, 48, 1.86666274f, NAN},                  // walks up to tr
      {0.306f, 0, 14, 0.105986208f, 30.51496502540521},
      {0.305f, 1, 15, 0.108732052f, 30.478637754917145},
      {0.1f, 1, 15, 0.150528356f, 5.1020105481147766},
      {20.0f, 34, 48, 1.86666274f, NAN},
  };
  const float tr = example.tr();
  for (const Case& k : cases) {
    Pulse r = pulse(with_slip(k.slip));
    const SlipSearch& s = r.out;
    if (!std::isnan(k.sum)) { EXPECT_EQ(sample_sum(r), k.sum) << "slip = " << k.slip; }
    EXPECT_TRUE(s.converged) << "slip = " << k.slip;
    EXPECT_EQ(s.forward_steps, k.steps) << "slip = " << k.slip;
    EXPECT_EQ(s.calls, k.calls) << "slip = " << k.slip;
    EXPECT_EQ(s.tb, k.tb) << "slip = " << k.slip;
    if (k.steps == 34) { EXPECT_TRUE(s.tb < tr && tr - s.tb <= 2e-5f); }
    if (k.slip < 0.306f) { EXPECT_TRUE(s.b == 0 && s.c == 0 && s.ar == 0); }
  }
  EXPECT_EQ(pulse(with_slip(0.1f)).out.eps, 0.150528356f);
  EXPECT_NEAR(pulse(with_slip(7.63f)).out.tb, 0.05358216, 5e-9);
  EXPECT_NEAR(pulse(with_slip(0.305f)).out.tb, 0.1087321, 5e-8);
}

// Samples exactly on the piece boundaries: tb takes the parabola (the decay
// piece would give 4.30378342), tr the decay piece, ts the linear piece,
// unforced; a time before 0 gives 0.
TEST(Vslip, SamplesOnBoundaries) {
  Samples tm, rate;
  const float t[] = {0.0563020967f, example.tr(), example.ts, -0.01f};
  const float v[] = {4.30378294f, 1.40158546f, -5.15628500e-08f, 0.0f};
  for (int k = 1; k <= 4; k++) tm(k) = t[k - 1];
  SlipSearch s = vslip(tm, rate, 4, example.slip, example.td(),
                       example.vm, example.tr(), example.ts);
  ASSERT_EQ(s.tb, t[0]);
  for (int k = 1; k <= 4; k++) EXPECT_EQ(rate(k), v[k - 1]) << "t = " << t[k - 1];
}

// Small target: the parabola overshoots, turns negative beyond 2 td, and
// nothing follows tb.
TEST(Vslip, SmallTargetEndsAtBoundary) {
  Pulse r = pulse(with_slip(0.1f));
  for (int k = 12; k <= 16; k++) EXPECT_LT(r.rate(k), 0.0f) << "k = " << k;
  for (int k = 17; k <= nt_grid; k++) ASSERT_EQ(r.rate(k), 0.0f) << "k = " << k;
}

// Large target: the walk runs into tr, where the linear piece is undefined.
TEST(Vslip, LargeTargetLeavesNaNAfterTr) {
  Pulse r = pulse(with_slip(20.0f));
  EXPECT_TRUE(std::isnan(r.out.c) && std::isnan(r.out.ar));
  EXPECT_EQ(r.rate(187), -5007.29248f);
  for (int k = 188; k <= 281; k++) EXPECT_TRUE(std::isnan(r.rate(k))) << "k = " << k;
  for (int k = 282; k <= nt_grid; k++) ASSERT_EQ(r.rate(k), 0.0f) << "k = " << k;
}

// A pulse that ends at or before time 0 leaves nothing on the grid.
TEST(Vslip, PulseEndingBeforeGrid) {
  for (float ts : {0.0f, -1.0f}) {
    Pulse r = pulse({6, 4.65f, 4.32f, ts});
    EXPECT_TRUE(r.out.converged);
    for (int k = 1; k <= nt_grid; k++) ASSERT_EQ(r.rate(k), 0.0f) << "ts = " << ts;
  }
}

// Inputs whose search cannot end: infinite td (fmax 0), a walk towards
// ever earlier times (fmax -6) and a step too small to pass tr (fmax 1e7).
// The search stops, reports it, and leaves every sample as it was.
TEST(Vslip, StoppedSearchLeavesRateUntouched) {
  for (float fmax : {0.0f, -6.0f, 1e7f}) {
    Pulse r = pulse({fmax, 4.65f, 4.32f, 2.8f});
    EXPECT_FALSE(r.out.converged) << "fmax = " << fmax;
    for (int k = 1; k <= capacity; k++) ASSERT_EQ(r.rate(k), sentinel) << "fmax = " << fmax;
  }
}

// A caller's stop: asked every search_stop_period trials; true ends the
// search there, rate untouched. A stop that never says stop changes nothing.
int questions = 0;
bool stop_at_third() { return ++questions == 3; }
bool never() { return ++questions < 0; }

TEST(Vslip, CallerStopsTheSearch) {
  Answers a{1e7f, 4.65f, 4.32f, 2.8f};
  Pulse r = pulse(a);
  ASSERT_GT(r.out.calls, 3 * search_stop_period);
  EXPECT_FALSE(r.out.stopped);
  questions = 0;
  r.out = vslip(r.tm, r.rate, nt_grid, a.slip, a.td(), a.vm, a.tr(), a.ts, stop_at_third);
  EXPECT_TRUE(r.out.stopped && !r.out.converged);
  EXPECT_EQ(r.out.calls, 3 * search_stop_period);  // asked at 4096, 8192 and 12288 trials
  for (int k = 1; k <= capacity; k++) ASSERT_EQ(r.rate(k), sentinel);

  Answers b = with_slip(4.65f);
  Pulse e = pulse(b), t = pulse(b);
  t.out = vslip(t.tm, t.rate, nt_grid, b.slip, b.td(), b.vm, b.tr(), b.ts, never);
  EXPECT_FALSE(t.out.stopped);
  EXPECT_EQ(t.out.calls, e.out.calls);
  for (int k = 1; k <= capacity; k++) ASSERT_EQ(t.rate(k), e.rate(k));
}

// fmax typed as 1e39 is stored as +inf: td = 0, the first trial is NaN and
// ends the walk like a sign change, so the search ends normally.
TEST(Vslip, InfiniteFmaxConverges) {
  Answers a{std::numeric_limits<float>::infinity(), 4.65f, 4.32f, 2.8f};
  EXPECT_EQ(a.td(), 0.0f);
  Pulse r = pulse(a);
  EXPECT_TRUE(r.out.converged);
  EXPECT_EQ(r.out.calls, 2);
  EXPECT_EQ(r.out.tb, 0.0f);
}

// A negative fmax whose residual changes sign is an ordinary answer.
TEST(Vslip, NegativeFmaxThatEnds) {
  Pulse r = pulse({-6, -4.65f, 4.32f, 2.8f});
  EXPECT_TRUE(r.out.converged);
  EXPECT_EQ(r.out.forward_steps, 1);
  EXPECT_EQ(r.out.tb, -0.106633812f);
}
