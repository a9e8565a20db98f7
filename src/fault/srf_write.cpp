#include "fault/srf_write.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

void appendf(std::string& out, const char* format, auto... args) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, format, args...);
  out.append(buf, static_cast<size_t>(n));
}

// One sample as %13.5e, and the value that text reads back as. to_chars
// gives the same correctly rounded digits as printf's %.5e, several times
// faster; the field is padded to 13 columns as %13.5e pads it.
double append_sample(std::string& out, double x) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 5);
  size_t n = static_cast<size_t>(r.ptr - buf);
  if (n < 13) out.append(13 - n, ' ');
  out.append(buf, n);
  double printed = 0;
  std::from_chars(buf, r.ptr, printed);
  return printed;
}

}  // namespace

std::string srf_header(SrfVersion v, const Plane& p, long np) {
  std::string out = v == SrfVersion::v2 ? "2.0\n" : "1.0\n";
  out += "PLANE 1\n";
  appendf(out, "%12.6f %11.6f %5d %5d %10.4f %10.4f\n", p.lon_top_center, p.lat_top_center, p.nstk, p.ndip,
          p.length, p.width);
  appendf(out, "%4.0f %4.0f %10.4f %10.4f %10.4f\n", p.strike, p.dip, p.depth_to_top, p.hypo_along_stk,
          p.hypo_down_dip);
  appendf(out, "POINTS %ld\n", np);
  return out;
}

double append_srf_point(std::string& out, SrfVersion v, const SrfPointFields& f, const Samples& rate, int nt1) {
  // The samples first, as printed, so that SLIP1 is what they carry.
  thread_local std::string samples;  // kept between points: no allocation per point
  samples.clear();
  double sum = 0;
  for (int k = 1; k <= nt1; k++) {
    sum += append_sample(samples, static_cast<double>(rate(k)) * 100);
    if (k % 6 == 0 || k == nt1) samples += '\n';
  }
  double slip1 = f.dt * sum;
  if (v == SrfVersion::v2)
    appendf(out, "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %13.6e %12.5e %13.5e %13.5e\n", f.lon, f.lat, f.dep, f.stk,
            f.dip, f.area, f.tinit, f.dt, f.vs, f.den);
  else
    appendf(out, "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %10.4f %12.5e\n", f.lon, f.lat, f.dep, f.stk, f.dip, f.area,
            f.tinit, f.dt);
  appendf(out, "%4.0f %10.4f %6d %10.4f %6d %10.4f %6d\n", f.rake, slip1, nt1, 0.0, 0, 0.0, 0);
  out += samples;
  return slip1;
}
