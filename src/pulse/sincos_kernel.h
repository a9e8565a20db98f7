#pragma once
// Cosine and sine of single-precision phases in W lanes, evaluated in double
// precision and rounded to single precision exactly as float(std::cos(x))
// and float(std::sin(x)) round.
//
// Header-only: every instruction-set path instantiates it inside its own
// target function. No fused multiply-adds: all paths give the same bits.
#include "pulse/sincos_lanes.h"

#include <cmath>
#include <cstdint>

// Largest phase the reduction below handles exactly: round(x * 2/pi) < 2^11.
constexpr double phase_max = 3200.0;

namespace sincos_detail {

// pi/2 = c1 + c2 + O(2^-96): c1 carries 42 significant bits, so k * c1 is
// exact for |k| < 2^11.
constexpr double c1 = 0x1.921fb54442800p+0;
constexpr double c2 = 0x1.4611a62633146p-42;
constexpr double two_over_pi = 0x1.45f306dc9c883p-1;
constexpr double shifter = 0x1.8p52;  // adding it rounds to an integer

// Float rounding of a double drops its 29 low significand bits; the result
// lies on a rounding boundary (midpoint of two floats) when they equal 2^28.
// Lanes within 2^10 units of the last place of a midpoint are recomputed
// with the library (see the error budget below).
constexpr std::uint64_t dropped = (std::uint64_t{1} << 29) - 1;
constexpr std::uint64_t window_start = (std::uint64_t{1} << 28) - (std::uint64_t{1} << 10);
constexpr int window_bits = 11;  // the window is 2^11 units wide

// 1 in lanes whose float rounding the guard window does not decide, else 0.
// Shifts instead of vector compares: GCC lowers those lane by lane.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::u near_midpoint(
    const typename Lanes<W>::d& y) {
  typedef typename Lanes<W>::u vu;
  vu offset = (as<vu>(y) & dropped) - window_start;
  return ((offset >> window_bits) - 1) >> 63;
}

// 1 in lanes with |x| > phase_max, infinite or NaN, else 0 (the bits of
// non-negative doubles order as their values, NaN above infinity).
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::u beyond_range(
    const typename Lanes<W>::d& x) {
  typedef typename Lanes<W>::u vu;
  constexpr std::uint64_t limit = __builtin_bit_cast(std::uint64_t, phase_max);
  return (limit - (as<vu>(x) & INT64_MAX)) >> 63;
}

}  // namespace sincos_detail

// The kernel runs in three stages (reduce, kernels, rounded) so that a
// loop can keep several samples in flight: each stage alone is a short
// dependency chain. sincos_lanes chains them for one set of phases.
//
// Error budget, relative to the true value, for |x| <= phase_max:
//  - reduction r = x - k*pi/2: x - k*c1 is exact (Sterbenz); k*c2 rounds by
//    at most 2^-83.7 and the split leaves 2^-85 for |k| < 2^11; the nearest
//    float to any multiple of pi/2 below phase_max is 2^-27.8 away, so with
//    the rounding of the subtraction r carries less than 2^-52.5 relative;
//  - kernels on |r| <= pi/4 + 2^-40: Taylor series, alternating, cut after
//    r^13 for sin (remainder r^15/15! < 2^-44.97 sin r) and after r^14 for
//    cos (remainder < 2^-49.3 cos r); coefficients and evaluation add below
//    2^-50.
//  Total below 2^-44.9 |y|, that is below 2^8.1 units in the last place of
//  the double result y. With std::cos and std::sin within 1 unit of their
//  own result (2 of y), the library value lies within 2^8.1 + 2 < 2^10
//  units of y; where y is at least 2^10 units from every midpoint, both
//  round to the same float. The other lanes, and phases beyond phase_max,
//  infinite or NaN, take the library path.

// Phases reduced to r = x - k*pi/2 with z = r^2; beyond is 1 in lanes out
// of the kernel's range.
template <int W>
struct Reduced {
  typename Lanes<W>::d r, z;
  typename Lanes<W>::i q;
  typename Lanes<W>::u beyond;
};

// sin r and cos r in double, with what the rounding stage needs.
template <int W>
struct Kernels {
  typename Lanes<W>::d r, sr, cr;
  typename Lanes<W>::i q;
  typename Lanes<W>::u beyond;
};

// Stage 1. With in_range the caller guarantees |theta| <= phase_max.
template <int W, bool in_range = false>
[[gnu::always_inline]] inline Reduced<W> reduce(const typename Lanes<W>::f& theta) {
  using namespace sincos_detail;
  typedef typename Lanes<W>::d vd;
  typedef typename Lanes<W>::i vi;
  typedef typename Lanes<W>::u vu;
  const vd x = widen(theta);
  // Quadrant k = nearest integer to x * 2/pi; its low bits sit in t.
  vd t = x * two_over_pi + shifter;
  vd k = t - shifter;
  // Cody-Waite reduction to |r| <= pi/4 (+ rounding of k).
  vd r = (x - k * c1) - k * c2;
  vu beyond = {};
  if constexpr (!in_range) beyond = beyond_range<W>(x);
  return {r, r * r, as<vi>(t), beyond};
}

// Stage 2: Taylor kernels of sin r and cos r, in powers of z paired
// (Estrin) to keep the dependency chains short.
template <int W>
[[gnu::always_inline]] inline Kernels<W> kernels(const Reduced<W>& a) {
  typedef typename Lanes<W>::d vd;
  const vd r = a.r, z = a.z, z2 = z * z;
  vd ps = (-0x1.5555555555555p-3 + z * 0x1.1111111111111p-7) +
          z2 * ((-0x1.a01a01a01a01ap-13 + z * 0x1.71de3a556c734p-19) +
                z2 * (-0x1.ae64567f544e4p-26 + z * 0x1.6124613a86d09p-33));
  vd pc = (-0.5 + z * 0x1.5555555555555p-5) +
          z2 * ((-0x1.6c16c16c16c17p-10 + z * 0x1.a01a01a01a01ap-16) +
                z2 * ((-0x1.27e4fb7789f5cp-22 + z * 0x1.1eed8eff8d898p-29) +
                      z2 * -0x1.93974a8c07c9dp-37));
  return {r, r + (r * z) * ps, 1.0 + z * pc, a.q, a.beyond};
}

// Stage 3: c = float(cos theta), s = float(sin theta); returns 1 in the
// lanes whose rounding the kernels cannot vouch for (0 elsewhere), which
// library_path then fixes.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::u rounded(const Kernels<W>& b,
                                                        typename Lanes<W>::f& c,
                                                        typename Lanes<W>::f& s) {
  using namespace sincos_detail;
  typedef typename Lanes<W>::d vd;
  typedef typename Lanes<W>::i vi;
  // Quadrant: odd k swaps sin and cos; sin flips sign for k = 2, 3 and cos
  // for k = 1, 2 (mod 4). sin r keeps the sign of r, also for r = -0,
  // where the kernel's sum gave +0.
  constexpr std::int64_t sign = INT64_MIN;
  const vi q = b.q;
  vi swap = -(q & 1);
  vi sb = (as<vi>(b.sr) & ~sign) | (as<vi>(b.r) & sign), cb = as<vi>(b.cr);
  vi sinb = ((cb & swap) | (sb & ~swap)) ^ ((q & 2) << 62);
  vi cosb = ((sb & swap) | (cb & ~swap)) ^ (((q + 1) & 2) << 62);
  c = narrow<W>(as<vd>(cosb));
  s = narrow<W>(as<vd>(sinb));
  return near_midpoint<W>(b.sr) | near_midpoint<W>(b.cr) | b.beyond;
}

// All three stages for one set of phases.
template <int W, bool in_range = false>
[[gnu::always_inline]] inline typename Lanes<W>::u sincos_lanes(
    const typename Lanes<W>::f& theta, typename Lanes<W>::f& c, typename Lanes<W>::f& s) {
  return rounded<W>(kernels<W>(reduce<W, in_range>(theta)), c, s);
}

// Recomputes the lanes marked in bad with std::cos and std::sin; returns
// how many there were.
template <int W>
[[gnu::always_inline]] inline int library_path(const typename Lanes<W>::f& theta,
                                               const typename Lanes<W>::u& bad,
                                               typename Lanes<W>::f& c,
                                               typename Lanes<W>::f& s) {
  int n = 0;
  for (int l = 0; l < W; l++) {
    if (!bad[l]) continue;
    c[l] = static_cast<float>(std::cos(static_cast<double>(theta[l])));
    s[l] = static_cast<float>(std::sin(static_cast<double>(theta[l])));
    n++;
  }
  return n;
}
