#include "fault/geometry.h"

#include <cmath>

#include "srf/plane_geometry.h"

namespace {

// The description's cells: its own DLEN and DWID as the steps, so that the
// centres are the ones the description names, to the last bit.
PlaneCells description_cells(const Plane& p) { return {-p.length / 2, p.dlen, p.dwid, p.nstk, p.ndip}; }

}  // namespace

SubfaultPlace centre_of(const Plane& p, int i, int j) {
  PlaneCells cells = description_cells(p);
  SubfaultPlace s;
  s.i = i;
  s.j = j;
  s.along = cells.along(i - 1);
  s.down = cells.down(j - 1);
  return s;
}

SubfaultPlace place_subfault(const Description& d, const SrfPlane& plane, int i, int j) {
  SubfaultPlace s = place_on(d.plane, plane, i, j);
  // Rupture time: straight distance on the plane at the rupture velocity.
  s.tinit = straight_time(d.plane, s, d.rupture_velocity);
  return s;
}

SubfaultPlace place_subfault(const Description& d, int i, int j) { return place_subfault(d, srf_plane(d.plane), i, j); }

SubfaultPlace place_on(const Plane& p, const SrfPlane& plane, int i, int j) {
  SubfaultPlace s = centre_of(p, i, j);
  s.depth = depth_at(p, s.down);
  LonLat at = surface_position(plane, s.along, s.down);
  s.lon = at.lon, s.lat = at.lat;
  return s;
}

double straight_time(const Plane& p, const SubfaultPlace& s, double velocity) {
  return std::hypot(s.along - p.hypo_along_stk, s.down - p.hypo_down_dip) / velocity;
}

double depth_at(const Plane& p, double down) { return p.depth_to_top + down * std::sin(radians(p.dip)); }

double subfault_area_km2(const Plane& p) { return p.dlen * p.dwid; }

SrfPlane srf_plane(const Plane& p) {
  SrfPlane s;
  s.elon = normal_longitude(p.lon_top_center), s.elat = p.lat_top_center;
  s.nstk = p.nstk, s.ndip = p.ndip;
  s.len = p.length, s.wid = p.width;
  s.stk = p.strike, s.dip = p.dip, s.dtop = p.depth_to_top;
  s.shyp = p.hypo_along_stk, s.dhyp = p.hypo_down_dip;
  return s;
}
