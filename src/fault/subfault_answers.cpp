#include "fault/subfault_answers.h"

#include <algorithm>
#include <cmath>

#include "srf/magnitude.h"

namespace {

bool before(const SubfaultRow* a, const SubfaultRow* b) { return a->j != b->j ? a->j < b->j : a->i < b->i; }

}  // namespace

bool area_holds(const Area& area, const SubfaultPlace& s) {
  return s.along >= area.along0 && s.along <= area.along1 && s.down >= area.down0 && s.down <= area.down1;
}

SubfaultAnswers::SubfaultAnswers(const Description& d, double slip_factor)
    : d_(d), slip_factor_(slip_factor) {
  for (const SubfaultRow& row : d.table) rows_.push_back(&row);
  std::sort(rows_.begin(), rows_.end(), before);
}

Answers SubfaultAnswers::unscaled(const SubfaultPlace& s) const {
  Answers a = d_.pulse;
  // An area holds the centres on its edges as well.
  for (const Area& area : d_.areas) {
    if (!area_holds(area, s)) continue;
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

double shear_modulus(const Description& d) { return shear_modulus(d.vs, d.density); }

double moment_factor(const Description& d, double m0) {
  SubfaultAnswers answers(d, 1);
  double area_m2 = d.plane.dlen * d.plane.dwid * 1e6;
  double sum_slip = 0;
  for (int j = 1; j <= d.plane.ndip; j++)
    for (int i = 1; i <= d.plane.nstk; i++) {
      sum_slip += answers.unscaled(centre_of(d.plane, i, j)).slip;
    }
  return m0 / (shear_modulus(d) * area_m2 * sum_slip);
}
