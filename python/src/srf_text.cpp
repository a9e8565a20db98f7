#include "srf_text.h"

#include <charconv>
#include <cstdio>

namespace {

void appendf(std::string& out, const char* format, auto... args) {
  char buf[320];
  int n = std::snprintf(buf, sizeof buf, format, args...);
  out.append(buf, static_cast<size_t>(n));
}

// Samples as %13.5e, six to a line: to_chars gives printf's digits.
void append_run(std::string& out, const float* v, long n) {
  for (long k = 0; k < n; k++) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v[k]), std::chars_format::scientific, 5);
    size_t len = static_cast<size_t>(r.ptr - buf);
    if (len < 13) out.append(13 - len, ' ');
    out.append(buf, len);
    if ((k + 1) % 6 == 0 || k + 1 == n) out += '\n';
  }
}

}  // namespace

void append_point(std::string& out, bool v2, const PointText& p, const float* sr1, long nt1,
                  const float* sr2, long nt2, const float* sr3, long nt3) {
  if (v2)
    appendf(out, "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %13.6e %12.5e %13.5e %13.5e\n", p.lon, p.lat, p.dep,
            p.stk, p.dip, p.area, p.tinit, p.dt, p.vs, p.den);
  else
    appendf(out, "%12.6f %11.6f %12.5e %4.0f %4.0f %12.5e %10.4f %12.5e\n", p.lon, p.lat, p.dep, p.stk, p.dip,
            p.area, p.tinit, p.dt);
  appendf(out, "%4.0f %10.4f %6ld %10.4f %6ld %10.4f %6ld\n", p.rake, p.slip1, nt1, p.slip2, nt2, p.slip3, nt3);
  append_run(out, sr1, nt1);
  append_run(out, sr2, nt2);
  append_run(out, sr3, nt3);
}
