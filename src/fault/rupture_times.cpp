#include "fault/rupture_times.h"

#include "fault/eikonal.h"
#include "fault/geometry.h"
#include "fault/plane_medium.h"

std::vector<double> rupture_times(const Description& d) {
  if (!d.rupture_ratio) return {};
  const Plane& p = d.plane;
  EikonalGrid g{p.nstk, p.ndip, p.dlen, p.dwid};
  auto speed = [&](double down) { return rupture_velocity_at(d, depth_at(p, down)); };
  return times_from_point(g, p.hypo_along_stk + p.length / 2, p.hypo_down_dip, speed, eikonal_refinement(g));
}
