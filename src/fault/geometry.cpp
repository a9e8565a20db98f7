#include "fault/geometry.h"

#include "srf/plane_geometry.h"

#include <cmath>
#include <numbers>

namespace {

double radians(double deg) { return deg * std::numbers::pi / 180; }

}  // namespace

SubfaultPlace centre_of(const Plane& p, int i, int j) {
  SubfaultPlace s;
  s.i = i;
  s.j = j;
  s.along = -p.length / 2 + (i - 0.5) * p.dlen;
  s.down = (j - 0.5) * p.dwid;
  return s;
}

SubfaultPlace place_on(const Plane& p, int i, int j) {
  SubfaultPlace s = centre_of(p, i, j);
  s.depth = depth_at(p, s.down);
  surface_position(p.lat_top_center, p.lon_top_center, p.strike, p.dip, s.along, s.down, s.lat, s.lon);
  return s;
}

double straight_time(const Plane& p, const SubfaultPlace& s, double velocity) {
  return std::hypot(s.along - p.hypo_along_stk, s.down - p.hypo_down_dip) / velocity;
}

SubfaultPlace place_subfault(const Description& d, int i, int j) {
  SubfaultPlace s = place_on(d.plane, i, j);
  // Rupture time: straight distance on the plane at the rupture velocity.
  s.tinit = straight_time(d.plane, s, d.rupture_velocity);
  return s;
}

double depth_at(const Plane& p, double down) { return p.depth_to_top + down * std::sin(radians(p.dip)); }

double subfault_area_km2(const Plane& p) { return p.dlen * p.dwid; }

SrfPlane srf_plane(const Plane& p) {
  SrfPlane s;
  s.elon = p.lon_top_center, s.elat = p.lat_top_center;
  s.nstk = p.nstk, s.ndip = p.ndip;
  s.len = p.length, s.wid = p.width;
  s.stk = p.strike, s.dip = p.dip, s.dtop = p.depth_to_top;
  s.shyp = p.hypo_along_stk, s.dhyp = p.hypo_down_dip;
  return s;
}
