// One pulse as the program computes it, and what the program finds when it
// reads back a value it wrote in a fixed field.
#include <charconv>
#include <cstring>

#include "pulse/pulse_times.h"
#include "pulse/vslip.h"
#include "pulse_core.h"
#include "records/fixed_format.h"
#include "records/free_format.h"

const Samples& time_grid() {
  static const Samples tm = [] {
    Samples s;
    fill_time_grid(s, nt_grid);
    return s;
  }();
  return tm;
}

PulseTimes compute_rate(const Answers& a, Samples& rate) {
  PulseTimes p;
  p.td = peak_time(a.fmax);
  p.tr = decay_end(a.ts);
  SlipSearch s = vslip(time_grid(), rate, nt_grid, a.slip, p.td, a.vm, p.tr, a.ts);
  p.tb = s.tb;
  p.converged = s.converged;
  return p;
}

std::string no_convergence(float td) {
  char text[32];
  int n = render_real(text, td);
  return "slip-velocity search does not converge for td = " + std::string(text, static_cast<size_t>(n));
}

bool read_back(float x, int w, int d, float& out, const char*& what) {
  char field[64];
  int n = fixed_point_text(field, x, w, d);
  const char* p = field;
  const char* end = field + n;
  while (p < end && *p == ' ') p++;
  // A field of asterisks reads as a repeat count without its digits; "nan"
  // and "inf" are no numbers at all.
  if (p < end && *p == '*') {
    what = "bad repetition count: incomprehensible list input";
    return false;
  }
  const char* digits = p + (p < end && *p == '-');
  if (digits == end || !(*digits == '.' || (*digits >= '0' && *digits <= '9'))) {
    what = "invalid number: incomprehensible list input";
    return false;
  }
  // Digits with a point: from_chars gives the nearest double.
  double v = 0;
  std::from_chars(p, end, v);
  out = static_cast<float>(v);
  return true;
}
