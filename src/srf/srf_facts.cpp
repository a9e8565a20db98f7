#include "srf/srf_facts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "srf/magnitude.h"
#include "sys/text_format.h"

namespace {

constexpr double cm3_per_m3 = 1e6;

std::string segments_line(const std::vector<SrfPlane>& planes) {
  if (planes.empty()) return "none (no PLANE block)";
  std::string s = std::to_string(planes.size()) + " (";
  for (size_t i = 0; i < planes.size(); i++) {
    const SrfPlane& p = planes[i];
    s += formatted("%s%d x %d subfaults, %g x %g km", i ? "; " : "", p.nstk, p.ndip, p.len, p.wid);
  }
  return s + ")";
}

std::string moment_lines(const SrfFacts& f) {
  std::string why = f.version == "1.0" ? "version 1.0 files have no VS and DEN"
                    : f.points == 0    ? "no points"
                                       : "the points have no VS and DEN";
  if (f.points == 0 || !f.medium) return "moment M0: none (" + why + ")\nMw: none (no moment)\n";
  std::string m0 = formatted("moment M0: %.6e N m\n", f.moment);
  if (f.moment <= 0) return m0 + "Mw: none (the moment is 0)\n";
  return m0 + formatted("Mw: %.4f\n", moment_magnitude(f.moment));
}

}  // namespace

double point_moment(const SrfPoint& p) {
  // VS in cm/s; AREA in cm^2 and slip in cm give m^3 by 1e-6. The moment
  // is of the slip in the fault plane (u1 and u2); u3 opens the fault and
  // adds none.
  double mu = shear_modulus(p.vs / 1e5, p.den);
  return mu * p.area * std::hypot(p.slip1, p.slip2) / cm3_per_m3;
}

void SrfFacts::header(const SrfHeader& h) {
  version = h.version;
  planes = h.planes;
}

void SrfFacts::block(int, long) { blocks++; }

void SrfFacts::point(const SrfPoint& p) {
  if (points == 0 || p.tinit > largest_tinit) largest_tinit = p.tinit;
  points++;
  if (!p.sr1.empty()) sampled++;
  largest_nt1 = std::max(largest_nt1, long(p.sr1.size()));
  area_slip += p.area * p.slip1;
  medium = medium && p.has_medium;
  moment += point_moment(p);
  if (p.slip1 > 0) {
    double sum = 0;
    for (double v : p.sr1) sum += v;
    double misfit = std::fabs(p.dt * sum - p.slip1) / p.slip1;
    if (misfit > worst_misfit) worst_misfit = misfit, worst_line = p.line;
  }
}

std::string facts_text(const SrfFacts& f) {
  std::string s = "version: " + f.version + "\n";
  s += "segments: " + segments_line(f.planes) + "\n";
  s += "POINTS blocks: " + std::to_string(f.blocks) + "\n";
  s += "points: " + std::to_string(f.points) + "\n";
  s += "points with samples (NT1 > 0): " + std::to_string(f.sampled) + "\n";
  s += formatted("sum of AREA*SLIP1: %.6e m^3\n", f.area_slip / cm3_per_m3);
  s += moment_lines(f);
  if (f.points == 0) {
    s += "largest NT1: none (no points)\nlargest TINIT: none (no points)\n";
  } else {
    s += "largest NT1: " + std::to_string(f.largest_nt1) + "\n";
    s += formatted("largest TINIT: %.6g s\n", f.largest_tinit);
  }
  s += "largest |DT*sum(SR1) - SLIP1|/SLIP1: ";
  if (f.worst_misfit < 0) return s + "none (no point with SLIP1 > 0)\n";
  return s + formatted("%.2e (the point on line %ld)\n", f.worst_misfit, f.worst_line);
}
