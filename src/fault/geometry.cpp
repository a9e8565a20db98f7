#include "fault/geometry.h"

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <numbers>

namespace {

double radians(double deg) { return deg * std::numbers::pi / 180; }

}  // namespace

void surface_position(double lat, double lon, double strike, double dip, double along, double down,
                      double& lat_out, double& lon_out) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  // Along strike first (a negative distance walks the geodesic backwards,
  // and its azimuth at the end is still the forward one), then down dip.
  double lat1, lon1, azi1, azi2;
  wgs84.Direct(lat, lon, strike, along * 1000, lat1, lon1, azi1);
  double horizontal = down * std::cos(radians(dip)) * 1000;
  wgs84.Direct(lat1, lon1, azi1 + 90, horizontal, lat_out, lon_out, azi2);
}

SubfaultPlace centre_of(const Plane& p, int i, int j) {
  SubfaultPlace s;
  s.i = i;
  s.j = j;
  s.along = -p.length / 2 + (i - 0.5) * p.dlen;
  s.down = (j - 0.5) * p.dwid;
  return s;
}

SubfaultPlace place_subfault(const Description& d, int i, int j) {
  const Plane& p = d.plane;
  SubfaultPlace s = centre_of(p, i, j);
  s.depth = p.depth_to_top + s.down * std::sin(radians(p.dip));
  surface_position(p.lat_top_center, p.lon_top_center, p.strike, p.dip, s.along, s.down, s.lat, s.lon);
  // Rupture time: straight distance on the plane at the rupture velocity.
  s.tinit = std::hypot(s.along - p.hypo_along_stk, s.down - p.hypo_down_dip) / d.rupture_velocity;
  return s;
}

double subfault_area_km2(const Plane& p) { return p.dlen * p.dwid; }
