#pragma once
// One subfault's slip-velocity pulse: the program's vslip on the program's
// grid with the same four answers, so that its samples are the program's,
// bit for bit. The grid runs on past the program's 10 s where a pulse of
// the fault lasts longer, with the same step and times.
#include <string>
#include <vector>

#include "pulse/answers.h"

// The longest pulse (ts, s) that the fault tool samples: 6001 samples.
constexpr double longest_pulse_s = 60;

// The fault's time grid: tm(i) = (i - 1) * dt as the program's, nt_grid
// samples (0 to 10 s) or as many more as the longest pulse `ts` (s, at most
// longest_pulse_s) needs to end in a zero sample.
struct PulseGrid {
  std::vector<float> tm;  // s, samples 1 .. samples() at tm[0 ..]
  explicit PulseGrid(float longest_ts);
  int samples() const { return static_cast<int>(tm.size()); }
};

struct SubfaultPulse {
  float td = 0, tr = 0;     // s
  std::vector<float> rate;  // m/s, one sample per grid time
  int nt1 = 0;              // samples from t = 0 to the first zero after the pulse; 0 without slip
  float peak = 0;           // largest sample, m/s
};

// Fills `out` for subfault (i, j). A pulse that cannot be computed (the
// boundary search does not end, a sample is not finite or below zero beyond
// rounding, a slip with no sample above zero) throws Refusal naming the
// subfault, its region of a scenario if any, its answers and what went wrong.
void compute_pulse(const PulseGrid& grid, const Answers& a, int i, int j, SubfaultPulse& out,
                   const std::string& region = "");

// "subfault (i, j) with fmax = F, slip = S, vm = V, ts = T", each answer in
// the shortest text that reads back as the same float; with a region
// ("asperity 2", "the background"), "subfault (i, j) in REGION with ...".
std::string describe_subfault(const Answers& a, int i, int j, const std::string& region = "");

// The shortest text of a float that reads back (as a double, then a float,
// as the program reads its answers) as the same float.
std::string float_text(float x);
