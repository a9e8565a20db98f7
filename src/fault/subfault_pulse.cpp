#include "fault/subfault_pulse.h"

#include <charconv>
#include <algorithm>
#include <cmath>

#include "sys/refusal.h"
#include "pulse/pulse_times.h"
#include "pulse/vslip.h"

std::string float_text(float x) {
  char buf[48];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  // The shortest float text may lie near the edge of x's rounding interval,
  // where reading it through a double can round the other way; then the
  // shortest double text, exact, is taken.
  double back = 0;
  std::from_chars(buf, r.ptr, back);
  if (static_cast<float>(back) != x && std::isfinite(x)) r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(x));
  return std::string(buf, r.ptr);
}

std::string describe_subfault(const Answers& a, int i, int j, const std::string& region) {
  return "subfault (" + std::to_string(i) + ", " + std::to_string(j) + ")" + (region.empty() ? "" : " in " + region) +
         " with fmax = " + float_text(a.fmax) +
         ", slip = " + float_text(a.slip) + ", vm = " + float_text(a.vm) + ", ts = " + float_text(a.ts);
}

PulseGrid::PulseGrid(float longest_ts) {
  // The first time past ts, and one more sample: the zero that ends the pulse.
  double past = std::floor(std::min(static_cast<double>(longest_ts), longest_pulse_s) / grid_step) + 3;
  tm.resize(static_cast<size_t>(std::max(static_cast<double>(nt_grid), past)));
  fill_time_grid(tm.data(), samples());
}

void compute_pulse(const PulseGrid& grid, const Answers& a, int i, int j, SubfaultPulse& out,
                   const std::string& region) {
  auto refuse = [&](const std::string& what) { throw Refusal(describe_subfault(a, i, j, region) + ": " + what); };
  const int nt = grid.samples();
  out.rate.resize(grid.tm.size());
  out.td = peak_time(a.fmax);
  out.tr = decay_end(a.ts);
  out.nt1 = 0;
  out.peak = 0;
  // No slip, no pulse: the search would look for a zero that the parabola
  // alone overshoots.
  if (a.slip == 0) return;
  const float* tm = grid.tm.data();
  float* rate = out.rate.data();
  SlipSearch s = vslip(tm, rate, nt, a.slip, out.td, a.vm, out.tr, a.ts);
  if (!s.converged) refuse("the slip-velocity search does not converge");
  int last = 0;
  for (int k = 1; k <= nt; k++) {
    float v = rate[k - 1];
    if (!std::isfinite(v)) refuse("sample " + std::to_string(k) + " (t = " + float_text(tm[k - 1]) + " s) is not finite");
    if (v > out.peak) out.peak = v;
    if (v != 0) last = k;
  }
  // The linear piece ends at ts only up to rounding: a sample there may lie
  // a few float steps below zero. Anything lower is a pulse that runs
  // backwards, as the search gives for a slip that the rise alone exceeds.
  for (int k = 1; k <= last; k++)
    if (static_cast<double>(rate[k - 1]) < -1e-6 * out.peak)
      refuse("sample " + std::to_string(k) + " (t = " + float_text(tm[k - 1]) + " s) is negative (" +
             float_text(rate[k - 1]) + " m/s)");
  if (out.peak <= 0) refuse("no sample lies above zero (ts is within the first step of " + float_text(grid_dt) + " s)");
  // The samples run to the first zero after the pulse, or to the grid's end.
  out.nt1 = last < nt ? last + 1 : nt;
}
