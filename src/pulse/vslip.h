#pragma once
#include "pulse/samples.h"

// What the boundary-time search left behind: the coefficients of the decay
// and linear pieces as the last trial set them, and how the search went.
struct SlipSearch {
  float tb = 0, b = 0, c = 0, ar = 0, eps = 0;
  int calls = 0;          // evaluations of tslip
  int forward_steps = 0;  // accepted steps of the forward walk
  bool converged = true;  // false: the search was stopped, rate untouched
  bool stopped = false;   // stopped because the caller asked it to
};

// Asked by the search every search_stop_period trials: true stops it. The
// search itself knows nothing of why (the program asks whether an end
// signal came, so that a long search never holds a signal back).
using SearchStop = bool (*)();
// Trials between two questions: a few hundred microseconds of search.
constexpr int search_stop_period = 4096;

// Slip residual of the pulse for a trial boundary tb, with the coefficients
// of the decay piece (b, eps) and of the linear piece (c, ar).
void tslip(float& res, float target, float tb, float am, float td, float tr,
           float ts, float& b, float& c, float& ar, float& eps);

// Searches tb so that the pulse carries `slip`, then fills rate(1..nt)
// (nt at most the capacity of Samples). When the search cannot end (see
// SlipSearch::converged) rate is untouched.
SlipSearch vslip(const Samples& tm, Samples& rate, int nt, float slip, float td, float vm,
                 float tr, float ts);
// The same, asking `stop` (when not null) as it goes; once stopped, rate is
// untouched and converged is false.
SlipSearch vslip(const Samples& tm, Samples& rate, int nt, float slip, float td, float vm,
                 float tr, float ts, SearchStop stop);
// The same on a grid of any length, tm[0 .. nt-1] into rate[0 .. nt-1]: each
// sample depends on its own time alone, so a longer grid (the fault tool's,
// for a pulse longer than 10 s) begins with the same samples, bit for bit.
SlipSearch vslip(const float* tm, float* rate, int nt, float slip, float td, float vm, float tr,
                 float ts, SearchStop stop = nullptr);
