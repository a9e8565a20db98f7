// Slip-velocity pulse of a fault point: parabolic rise to vm at td, decay as
// b / sqrt(t - eps) up to tr, linear fall to zero at ts. The boundary tb
// between rise and decay is searched so that the pulse carries `slip`.
//
// Every stored real is a float; each expression is evaluated in double and
// rounded once when stored. Square roots and the power are rounded to float
// before further use, their arguments are not.
#include "pulse/vslip.h"

#include <cmath>

namespace {

using D = double;

// Root of a difference of floats taken in double, rounded to float.
float root(D arg) { return static_cast<float>(std::sqrt(arg)); }

// Time shift of the decay piece that makes it meet the parabola at tb with
// equal value and slope; no shift beyond tb (the decay piece then vanishes).
float decay_shift(float tb, float td) {
  float eps = static_cast<float>(
      D(tb) + ((D(tb) / 2) * (1 - (D(tb) / td) / 2)) / (1 - D(tb) / td));
  return eps > tb ? tb : eps;
}

// Slip carried by the parabola from 0 to tb.
float parabola_area(float tb, float am, float td) {
  return static_cast<float>(((D(am) / 2) * tb) * tb -
                            ((D(am) / 6) * ((D(tb) * tb) * tb)) / td);
}

// Velocity of the rising parabola at time t.
float rise(float t, float am, float td) {
  return static_cast<float>((D(am) * t) * (1 - (D(t) * 0.5) / td));
}

}  // namespace

void tslip(float& res, float target, float tb, float am, float td, float tr,
           float ts, float& b, float& c, float& ar, float& eps) {
  // Decay piece: shift, then amplitude from the parabola's slope at tb.
  eps = decay_shift(tb, td);
  float p = static_cast<float>(std::pow(D(tb) - eps, 1.5));
  b = static_cast<float>(-((D(am) + am) * (1 - D(tb) / td)) * p);
  // Linear piece: starts at the decay value at tr, ends at zero at ts.
  float sr = root(D(tr) - eps);
  c = static_cast<float>(D(b) / sr);
  ar = static_cast<float>(D(c) / (D(ts) - tr));
  // Slip of the three pieces; 2b is stored before it scales the roots.
  float f1 = parabola_area(tb, am, td);
  float sb = root(D(tb) - eps);
  float b2 = static_cast<float>(D(b) + b);
  float f2 = static_cast<float>(D(b2) * (D(sr) - sb));
  float f3 = static_cast<float>((D(c) / 2) * (D(ts) - tr));
  // Residual against the target slip.
  res = static_cast<float>(((D(f1) + f2) + f3) - target);
}

namespace {

// State of the boundary search: trial interval [x, x + h] and its residual.
struct Search {
  float target, am, td, tr, ts;
  SearchStop stop;
  SlipSearch out;

  float residual(float tb) {
    float res;
    tslip(res, target, tb, am, td, tr, ts, out.b, out.c, out.ar, out.eps);
    out.calls++;
    return res;
  }
};

// Walks forward in steps of td while the residual keeps its sign, then
// bisects until the step is at most `error`. Stops without converging when
// the step is not finite or the walk stalls (x + h rounds back to x).
void find_boundary(Search& s) {
  const float error = 1e-5f;
  int isw = 1;
  float h = s.td;
  float x = static_cast<float>(D(s.td) * 1.01f);
  float y1 = s.residual(x);
  for (;;) {
    // The caller may end a long search (up to some 2^24 trials) early.
    if (s.stop && s.out.calls % search_stop_period == 0 && s.stop()) {
      s.out.converged = false;
      s.out.stopped = true;
      break;
    }
    // An infinite or undefined step never halves below error.
    if (!std::isfinite(h)) {
      s.out.converged = false;
      break;
    }
    // Residual at the right end; same sign (both non-zero) moves x there.
    float xh = static_cast<float>(D(x) + h);
    float y2 = s.residual(xh);
    if (D(y1) * y2 > 0) {
      if (isw == 1 && xh == x) {
        s.out.converged = false;
        break;
      }
      x = xh;
      y1 = y2;
      if (isw == 1) {
        s.out.forward_steps++;
        continue;
      }
    }
    // Halve the step until it reaches the tolerance.
    h = static_cast<float>(D(h) / 2);
    isw = 2;
    if (!(h > error)) break;
  }
  s.out.tb = x;
}

// Velocity at time t: five tests in order, a later match overriding.
float velocity(float t, const SlipSearch& r, float am, float td, float tr,
               float ts) {
  float v = 0;
  if (t <= r.tb) v = rise(t, am, td);
  if (t > r.tb && t <= tr) v = static_cast<float>(D(r.b) / root(D(t) - r.eps));
  if (t > tr && t <= ts) v = static_cast<float>(D(r.c) - (D(t) - tr) * r.ar);
  if (t > ts) v = 0;
  if (t < 0) v = 0;
  return v;
}

}  // namespace

SlipSearch vslip(const Samples& tm, Samples& rate, int nt, float slip, float td, float vm,
                 float tr, float ts) {
  return vslip(tm.v, rate.v, nt, slip, td, vm, tr, ts, nullptr);
}

SlipSearch vslip(const Samples& tm, Samples& rate, int nt, float slip, float td, float vm,
                 float tr, float ts, SearchStop stop) {
  return vslip(tm.v, rate.v, nt, slip, td, vm, tr, ts, stop);
}

SlipSearch vslip(const float* tm, float* rate, int nt, float slip, float td, float vm, float tr,
                 float ts, SearchStop stop) {
  // Initial slip acceleration: slope of the parabola at time 0.
  float am = static_cast<float>((D(vm) + vm) / td);
  Search s{slip, am, td, tr, ts, stop, {}};
  find_boundary(s);
  if (!s.out.converged) return s.out;
  // Samples on the grid, with the coefficients the last trial left.
  for (int k = 0; k < nt; k++) rate[k] = velocity(tm[k], s.out, am, td, tr, ts);
  return s.out;
}
