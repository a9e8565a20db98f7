#include "fault/subfault_answers.h"

#include <algorithm>
#include <cmath>

#include "srf/magnitude.h"

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

Answers SubfaultAnswers::unscaled(const SubfaultPlace& s) const {
  Answers a = d_.pulse;
  // An area holds the centres on its edges as well.
  for (const Area& area : d_.areas) {
    if (area.segment != s.segment) continue;
    if (s.along < area.along0 || s.along > area.along1 || s.down < area.down0 || s.down > area.down1) continue;
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
  // One rounding of the scaled slip, as every stored real.
  if (slip_factor_ != 1) a.slip = static_cast<float>(static_cast<double>(a.slip) * slip_factor_);
  return a;
}

double shear_modulus(const Description& d) { return d.mu; }

double magnitude_factor(const Description& d, double mw) {
  SubfaultAnswers answers(d, 1);
  double m0 = 0;
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
    for (size_t k = 0; k < sum_slip.size(); k++) m0 += layer_shear_modulus(d.medium.layers[k]) * area_m2 * sum_slip[k];
  }
  return seismic_moment(mw) / m0;
}
