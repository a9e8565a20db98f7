#include "fault/subfault_answers.h"

#include <algorithm>
#include <cmath>

#include "srf/magnitude.h"
#include "sys/text_format.h"

namespace {

bool before(const SubfaultRow* a, const SubfaultRow* b) {
  if (a->segment != b->segment) return a->segment < b->segment;
  return a->j != b->j ? a->j < b->j : a->i < b->i;
}

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
  for (const Area& area : d.areas) {
    const Plane& p = d.segments[static_cast<size_t>(area.segment)].plane;
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
    if (area.segment != s.segment) continue;
    if (!area_holds(area, d_.segments[static_cast<size_t>(area.segment)].plane, s.along, s.down)) continue;
    if (area.fmax) a.fmax = *area.fmax;
    if (area.slip) a.slip = *area.slip;
    if (area.vm) a.vm = *area.vm;
    if (area.ts) a.ts = *area.ts;
  }
  SubfaultRow key;
  key.segment = s.segment, key.i = s.i, key.j = s.j;
  auto it = std::lower_bound(rows_.begin(), rows_.end(), &key, before);
  if (it != rows_.end() && (*it)->segment == s.segment && (*it)->i == s.i && (*it)->j == s.j) a = (*it)->answers;
  return a;
}

Answers SubfaultAnswers::of(const SubfaultPlace& s) const {
  Answers a = unscaled(s);
  // One rounding of the scaled slip, as every stored real. A scenario's
  // factor corrects its stress drops, so the peak slip velocities, which
  // grow with them, scale too: the pulse then keeps its shape and carries
  // the factor's share of the moment, where a slip alone would move the
  // boundary time of its search in steps.
  if (slip_factor_ != 1) {
    a.slip = static_cast<float>(static_cast<double>(a.slip) * slip_factor_);
    if (d_.scenario) a.vm = static_cast<float>(static_cast<double>(a.vm) * slip_factor_);
  }
  return a;
}

double shear_modulus(const Description& d) { return d.mu; }

double moment_factor(const Description& d, double m0) {
  SubfaultAnswers answers(d, 1);
  double described = 0;
  for (size_t g = 0; g < d.segments.size(); g++) {
    const Plane& p = d.segments[g].plane;
    double area_m2 = p.dlen * p.dwid * 1e6;
    // The slips summed per layer, then each sum times its layer's mu: one
    // layer gives mu * area * (sum of slips), as a uniform medium always has.
    std::vector<double> sum_slip(d.medium.layers.size());
    for (int j = 1; j <= p.ndip; j++) {
      const Layer& l = layer_at(d.medium, depth_at(p, centre_of(p, 1, j).down));
      double& sum = sum_slip[static_cast<size_t>(&l - d.medium.layers.data())];
      for (int i = 1; i <= p.nstk; i++) {
        SubfaultPlace s = centre_of(p, i, j);
        s.segment = static_cast<int>(g);
        sum += answers.unscaled(s).slip;
      }
    }
    for (size_t k = 0; k < sum_slip.size(); k++) described += layer_shear_modulus(d.medium.layers[k]) * area_m2 * sum_slip[k];
  }
  return m0 / described;
}

double magnitude_factor(const Description& d, double mw) { return moment_factor(d, seismic_moment(mw)); }
