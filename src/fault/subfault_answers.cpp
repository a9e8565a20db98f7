#include "fault/subfault_answers.h"

#include <algorithm>
#include <cmath>

#include "srf/magnitude.h"
#include "sys/text_format.h"

namespace {

bool before(const SubfaultRow* a, const SubfaultRow* b) { return a->j != b->j ? a->j < b->j : a->i < b->i; }

}  // namespace

SubfaultAnswers::SubfaultAnswers(const Description& d, double slip_factor)
    : d_(d), slip_factor_(slip_factor) {
  for (const SubfaultRow& row : d.table) rows_.push_back(&row);
  std::sort(rows_.begin(), rows_.end(), before);
}

float longest_ts(const Description& d) {
  float ts = d.pulse.ts;
  for (const Area& area : d.areas)
    if (area.ts) ts = std::max(ts, *area.ts);
  for (const SubfaultRow& row : d.table) ts = std::max(ts, row.answers.ts);
  return ts;
}

void warn_idle_areas(const Description& d, std::vector<std::string>& warnings) {
  const Plane& p = d.plane;
  for (const Area& area : d.areas) {
    std::string at = d.path + ":" + std::to_string(area.line) + ": ";
    if (!area.fmax && !area.slip && !area.vm && !area.ts) {
      warnings.push_back(at + "this [[area]] sets none of fmax, slip, vm, ts: it changes no subfault");
      continue;
    }
    // A rectangle holds a centre when a column's and a row's centres lie in it.
    bool column = false, row = false;
    for (int i = 1; i <= p.nstk && !column; i++) column = area_holds(area, p, centre_of(p, i, 1).along, area.down0);
    for (int j = 1; j <= p.ndip && !row; j++) row = area_holds(area, p, area.along0, centre_of(p, 1, j).down);
    if (!column || !row)
      warnings.push_back(at + "this [[area]] holds no subfault centre (they lie every " + formatted("%g", p.dlen) +
                         " km along strike and " + formatted("%g", p.dwid) + " km down dip): it changes no subfault");
  }
}

bool area_holds(const Area& area, const Plane& p, double along, double down) {
  // Edges are decimal kilometres and centres binary sums of them: a centre
  // that lies on an edge may come out a rounding beyond it, so the edges
  // take a millionth of a subfault more.
  double ta = 1e-6 * p.dlen, td = 1e-6 * p.dwid;
  return along >= area.along0 - ta && along <= area.along1 + ta && down >= area.down0 - td && down <= area.down1 + td;
}

Answers SubfaultAnswers::unscaled(const SubfaultPlace& s) const {
  Answers a = d_.pulse;
  // An area holds the centres on its edges as well.
  for (const Area& area : d_.areas) {
    if (!area_holds(area, d_.plane, s.along, s.down)) continue;
    if (area.fmax) a.fmax = *area.fmax;
    if (area.slip) a.slip = *area.slip;
    if (area.vm) a.vm = *area.vm;
    if (area.ts) a.ts = *area.ts;
  }
  SubfaultRow key;
  key.i = s.i, key.j = s.j;
  auto it = std::lower_bound(rows_.begin(), rows_.end(), &key, before);
  if (it != rows_.end() && (*it)->i == s.i && (*it)->j == s.j) a = (*it)->answers;
  return a;
}

Answers SubfaultAnswers::of(const SubfaultPlace& s) const {
  Answers a = unscaled(s);
  // One rounding of the scaled slip, as every stored real.
  if (slip_factor_ != 1) a.slip = static_cast<float>(static_cast<double>(a.slip) * slip_factor_);
  return a;
}

double shear_modulus(const Description& d) { return shear_modulus(d.vs, d.density); }

double magnitude_factor(const Description& d, double mw) {
  SubfaultAnswers answers(d, 1);
  double area_m2 = d.plane.dlen * d.plane.dwid * 1e6;
  double sum_slip = 0;
  for (int j = 1; j <= d.plane.ndip; j++)
    for (int i = 1; i <= d.plane.nstk; i++) {
      sum_slip += answers.unscaled(centre_of(d.plane, i, j)).slip;
    }
  double m0 = shear_modulus(d) * area_m2 * sum_slip;
  return seismic_moment(mw) / m0;
}
