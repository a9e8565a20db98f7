#include "fault/subfault_pulse.h"

#include <charconv>
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

void compute_pulse(const Samples& tm, const Answers& a, int i, int j, SubfaultPulse& out, const std::string& region) {
  auto refuse = [&](const std::string& what) { throw Refusal(describe_subfault(a, i, j, region) + ": " + what); };
  out.td = peak_time(a.fmax);
  out.tr = decay_end(a.ts);
  out.nt1 = 0;
  out.peak = 0;
  // No slip, no pulse: the search would look for a zero that the parabola
  // alone overshoots.
  if (a.slip == 0) return;
  SlipSearch s = vslip(tm, out.rate, nt_grid, a.slip, out.td, a.vm, out.tr, a.ts);
  if (!s.converged) refuse("the slip-velocity search does not converge");
  int last = 0;
  for (int k = 1; k <= nt_grid; k++) {
    float v = out.rate(k);
    if (!std::isfinite(v)) refuse("sample " + std::to_string(k) + " (t = " + float_text(tm(k)) + " s) is not finite");
    if (v > out.peak) out.peak = v;
    if (v != 0) last = k;
  }
  // The linear piece ends at ts only up to rounding: a sample there may lie
  // a few float steps below zero. Anything lower is a pulse that runs
  // backwards, as the search gives for a slip that the rise alone exceeds.
  for (int k = 1; k <= last; k++)
    if (static_cast<double>(out.rate(k)) < -1e-6 * out.peak)
      refuse("sample " + std::to_string(k) + " (t = " + float_text(tm(k)) + " s) is negative (" +
             float_text(out.rate(k)) + " m/s)");
  if (out.peak <= 0) refuse("no sample lies above zero (ts is within the first step of " + float_text(grid_dt) + " s)");
  // The samples run to the first zero after the pulse, or to the grid's end.
  out.nt1 = last < nt_grid ? last + 1 : nt_grid;
}
