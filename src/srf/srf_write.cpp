#include "srf/srf_write.h"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sys/text_format.h"

namespace {

// Powers of ten that a double holds exactly.
constexpr double exact_tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// One sample as %13.5e, and the value that text reads back as. to_chars
// gives the same correctly rounded digits as printf's %.5e, several times
// faster; the field is padded to 13 columns as %13.5e pads it.
double append_sample(std::string& out, double x) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 5);
  size_t n = static_cast<size_t>(r.ptr - buf);
  if (n < 13) out.append(13 - n, ' ');
  out.append(buf, n);
  return printed_value(buf, n);
}

}  // namespace

// Reading the digits back by integer arithmetic instead of from_chars: the
// 282 samples of the example pulse in 1.9 us instead of 5.2-6.7 us, about a
// sixth of a subfault's 22-25 us (BM_SamplesBack* in bench/bench_fault.cpp).
double printed_value(const char* text, size_t n) {
  // Only d.ddddde[+-]XX takes the integer path; other texts ("inf", "nan")
  // and exponents beyond 10^22 go to from_chars.
  const char* p = text;
  bool negative = n > 0 && *p == '-';
  p += negative;
  size_t len = n - negative;
  auto slow = [&] {
    double v = 0;
    std::from_chars(text, text + n, v);
    return v;
  };
  if (len < 11 || p[1] != '.' || p[7] != 'e') return slow();
  // The six digits as an integer m and the power of ten k of its last digit.
  long m = p[0] - '0';
  for (int k = 2; k <= 6; k++) m = 10 * m + (p[k] - '0');
  int e = 0;
  for (const char* q = p + 9; q < text + n; q++) e = 10 * e + (*q - '0');
  int k = (p[8] == '-' ? -e : e) - 5;
  if (k < -22 || k > 22) return slow();
  // m and 10^|k| are exact, so one product or quotient rounds once, to the
  // double nearest the text, as from_chars does.
  double v = k >= 0 ? static_cast<double>(m) * exact_tens[k] : static_cast<double>(m) / exact_tens[-k];
  return negative ? -v : v;
}

int angle_decimals(double degrees) {
  if (degrees == std::floor(degrees) || !std::isfinite(degrees)) return 0;
  // A fault's angles are the same for every point: the last few answers are
  // kept, so that the search below runs once per angle, not per point.
  struct Known {
    double degrees;
    int decimals;
  };
  thread_local Known known[4] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
  thread_local int next = 0;
  for (const Known& k : known)
    if (k.degrees == degrees) return k.decimals;
  int d = 1;
  for (; d < 4; d++) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", d, degrees);
    if (std::strtod(text, nullptr) == degrees) break;
  }
  known[next] = {degrees, d};
  next = (next + 1) % 4;
  return d;
}

std::string srf_header(const SrfHeader& h, long np) {
  std::string out = h.version + "\n";
  if (!h.planes.empty()) appendf(out, "PLANE %zu\n", h.planes.size());
  for (const SrfPlane& p : h.planes) {
    appendf(out, "%12.6f %11.6f %5d %5d %10.4f %10.4f\n", p.elon, p.elat, p.nstk, p.ndip, p.len, p.wid);
    appendf(out, "%4.*f %4.*f %10.4f %10.4f %10.4f\n", angle_decimals(p.stk), p.stk, angle_decimals(p.dip), p.dip,
            p.dtop, p.shyp, p.dhyp);
  }
  appendf(out, "POINTS %ld\n", np);
  return out;
}

double append_srf_point(std::string& out, const SrfPoint& p, const float* rate, int nt1) {
  // The samples first, as printed, so that SLIP1 is what they carry.
  thread_local std::string samples;  // kept between points: no allocation per point
  samples.clear();
  double sum = 0;
  for (int k = 1; k <= nt1; k++) {
    sum += append_sample(samples, static_cast<double>(rate[k - 1]) * 100);
    if (k % 6 == 0 || k == nt1) samples += '\n';
  }
  double slip1 = p.dt * sum;
  int ds = angle_decimals(p.stk), dd = angle_decimals(p.dip), dr = angle_decimals(p.rake);
  if (p.has_medium)
    appendf(out, "%12.6f %11.6f %12.5e %4.*f %4.*f %12.5e %13.6e %12.5e %13.5e %13.5e\n", p.lon, p.lat, p.dep, ds,
            p.stk, dd, p.dip, p.area, p.tinit, p.dt, p.vs, p.den);
  else
    appendf(out, "%12.6f %11.6f %12.5e %4.*f %4.*f %12.5e %10.4f %12.5e\n", p.lon, p.lat, p.dep, ds, p.stk, dd, p.dip,
            p.area, p.tinit, p.dt);
  appendf(out, "%4.*f %10.4f %6d %10.4f %6d %10.4f %6d\n", dr, p.rake, slip1, nt1, 0.0, 0, 0.0, 0);
  out += samples;
  return slip1;
}
