// Several spectral lines at once; each line keeps its own sum in time order.
//
// The lines of a block sit side by side in vector lanes. Every lane performs
// the reference's operations on its own values in the same order, so the
// vectors change no rounding: per sample, the phase is rounded to float,
// cos and sin come from the kernel of sincos_kernel.h (rounded as the
// library rounds), the integrand parts are rounded to float, and the
// trapezoidal step is taken in double and rounded to float.
#include "pulse/spectrum_lines.h"

#include "pulse/sincos_kernel.h"
#include "pulse/spectrum.h"

#include <cmath>
#include <utility>

namespace {

// Samples per tile: the kernel's undecided lanes are gathered over a tile,
// and a tile that had any is summed again with the library fixing them.
constexpr int tile = 64;

// Running sums of W lines; every value is a float held in a double.
template <int W>
struct Sums {
  typename Lanes<W>::d dv_re = {}, dv_im = {}, fv1_re = {}, fv1_im = {};
};

// Grid time of sample j, rounded to float as the driver's grid.
inline float grid_time(int j, double dt) {
  return static_cast<float>((j - 1) * dt);
}

// Phase om * time of sample j: the double product of two floats is exact,
// so its rounding to float is the float product.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::f phase(const typename Lanes<W>::f& om,
                                                       int j, double dt) {
  return om * grid_time(j, dt);
}

// Trapezoidal step of all lanes at a sample of velocity r, given
// ex = (float(cos), float(sin)) of its phases. The integrand r * ex is an
// exact double product rounded once, a float product for the same reason;
// the step itself is taken in double, part by part.
template <int W>
[[gnu::always_inline]] inline void trapezoid(Sums<W>& sum, const typename Lanes<W>::f& ex_re,
                                             const typename Lanes<W>::f& ex_im, float r,
                                             double dt) {
  typedef typename Lanes<W>::d vd;
  vd fv2_re = widen(r * ex_re);
  vd fv2_im = widen(r * ex_im);
  sum.dv_re = stored<W>((sum.fv1_re + fv2_re) * dt / 2 + sum.dv_re);
  sum.dv_im = stored<W>((sum.fv1_im + fv2_im) * dt / 2 + sum.dv_im);
  sum.fv1_re = fv2_re;
  sum.fv1_im = fv2_im;
}

// The cos and sin kernel of four consecutive samples in flight: `ex`
// holds sample j's rounded values (and its undecided lanes), `kern` sample
// j+1's kernels, `red` sample j+2's reduced phases. Each loop step starts
// sample j+3 and sums sample j, so the processor overlaps four short
// dependency chains instead of waiting on one long one.
template <int W>
struct Pipeline {
  typename Lanes<W>::f ex_re, ex_im;
  typename Lanes<W>::u bad;
  Kernels<W> kern;
  Reduced<W> red;
};

// The sums of W lines over samples 2..nt, tile by tile. Each tile runs on
// the kernel alone, gathering the lanes it leaves undecided; a tile that
// had any is summed again from its start with the library fixing them.
template <int W, bool in_range>
[[gnu::always_inline]] inline long sum_lines(const Samples& rate, int nt, double dt,
                                             const typename Lanes<W>::f& om,
                                             Sums<W>& sum) {
  typedef typename Lanes<W>::f vf;
  typedef typename Lanes<W>::u vu;
  long fallbacks = 0;
  Pipeline<W> pipe;
  pipe.bad = rounded<W>(kernels<W>(reduce<W, in_range>(phase<W>(om, 2, dt))), pipe.ex_re,
                        pipe.ex_im);
  pipe.kern = kernels<W>(reduce<W, in_range>(phase<W>(om, 3, dt)));
  pipe.red = reduce<W, in_range>(phase<W>(om, 4, dt));
  for (int j0 = 2; j0 <= nt; j0 += tile) {
    const int j1 = nt - j0 < tile ? nt : j0 + tile - 1;
    const Sums<W> start = sum;
    vu undecided = {};
    // 1. Pipelined kernel; phases past nt are computed and dropped.
    for (int j = j0; j <= j1; j++) {
      Reduced<W> red = reduce<W, in_range>(phase<W>(om, j + 3, dt));
      Kernels<W> kern = kernels<W>(pipe.red);
      vf ex_re, ex_im;
      vu bad = rounded<W>(pipe.kern, ex_re, ex_im);
      undecided |= pipe.bad;
      trapezoid<W>(sum, pipe.ex_re, pipe.ex_im, rate(j), dt);
      pipe = {ex_re, ex_im, bad, kern, red};
    }
    if (!any<W>(undecided)) continue;
    // 2. Again, sample by sample, with the library path.
    sum = start;
    for (int j = j0; j <= j1; j++) {
      vf theta = phase<W>(om, j, dt), ex_re, ex_im;
      vu bad = sincos_lanes<W, in_range>(theta, ex_re, ex_im);
      if (any<W>(bad)) fallbacks += library_path<W>(theta, bad, ex_re, ex_im);
      trapezoid<W>(sum, ex_re, ex_im, rate(j), dt);
    }
  }
  return fallbacks;
}

// The last sample whose step can change a sum whose phases and dt are
// finite. Past the last non-zero velocity L every integrand rate * ex is a
// zero: the step at L + 1 still adds half of sample L, every later step
// adds a zero, which leaves a sum as it is (only a zero sum may change its
// sign, and the modulus takes magnitudes). A slip pulse ends long before
// the grid does, so most of the grid is skipped.
inline int quiet_end(const Samples& rate, int nt) {
  int last = nt;
  while (last > 1 && rate(last) == 0) last--;
  return last < nt ? last + 1 : nt;
}

// Amplitudes of the m <= W lines om[0..m-1].
template <int W>
[[gnu::always_inline]] inline long block(const Samples& rate, int nt, int end, float dt,
                                         const float* om, int m, float* amp) {
  typedef typename Lanes<W>::f vf;
  // 1. Unused lanes run at om = 0, where cos and sin are exact.
  vf omv = {};
  for (int l = 0; l < m; l++) omv[l] = om[l];
  // 2. Whether every phase |om * time| stays within the kernel's range
  //    (the largest |time| is the last; NaN fails the test).
  const double last = std::fabs(grid_time(nt, dt));
  bool in_range = true;
  for (int l = 0; l < m; l++)
    in_range = in_range && std::fabs(static_cast<double>(om[l])) * last <= phase_max;
  // 3. The sums from the first sample on, then the moduli. In range every
  //    phase is finite and so is dt (else the last time is not), and the
  //    sums may stop at `end`.
  Sums<W> sum;
  long fallbacks = in_range ? sum_lines<W, true>(rate, end, dt, omv, sum)
                            : sum_lines<W, false>(rate, nt, dt, omv, sum);
  for (int l = 0; l < m; l++)
    amp[l] = modulus(static_cast<float>(sum.dv_re[l]), static_cast<float>(sum.dv_im[l]));
  return fallbacks;
}

template <int W>
[[gnu::always_inline]] inline long lines(const Samples& rate, int nt, float dt,
                                         const float* om, int n, float* amp) {
  const int end = quiet_end(rate, nt);
  long fallbacks = 0;
  for (int k = 0; k < n; k += W)
    fallbacks += block<W>(rate, nt, end, dt, om + k, n - k < W ? n - k : W, amp + k);
  return fallbacks;
}

[[gnu::target("avx512f")]] long lines_avx512(
    const Samples& rate, int nt, float dt, const float* om, int n, float* amp) {
  return lines<8>(rate, nt, dt, om, n, amp);
}

[[gnu::target("avx2")]] long lines_avx2(const Samples& rate, int nt, float dt,
                                        const float* om, int n, float* amp) {
  return lines<4>(rate, nt, dt, om, n, amp);
}

long lines_sse2(const Samples& rate, int nt, float dt, const float* om, int n,
                float* amp) {
  return lines<2>(rate, nt, dt, om, n, amp);
}

}  // namespace

long spectrum_lines_on(Isa isa, const Samples& rate, int nt, float dt,
                       const float* om, int n, float* amp) {
  switch (isa) {
    case Isa::avx512: return lines_avx512(rate, nt, dt, om, n, amp);
    case Isa::avx2: return lines_avx2(rate, nt, dt, om, n, amp);
    case Isa::sse2: break;
  }
  return lines_sse2(rate, nt, dt, om, n, amp);
}

void spectrum_lines(const Samples& rate, int nt, float dt, const float* om,
                    int n, float* amp) {
  static const Isa widest = widest_isa();
  spectrum_lines_on(widest, rate, nt, dt, om, n, amp);
}
