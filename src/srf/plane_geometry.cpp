#include "srf/plane_geometry.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>

int PlaneCells::cell_along(double along) const {
  return std::clamp(static_cast<int>((along - along_start) / along_step), 0, nstk - 1);
}

int PlaneCells::cell_down(double down) const {
  return std::clamp(static_cast<int>(down / down_step), 0, ndip - 1);
}

PlaneCells plane_cells(const SrfPlane& s, int nx, int ny) {
  return {-s.len / 2, s.len / nx, s.wid / ny, nx, ny};
}

double longitude_near(double lon, double reference) {
  // Whole turns added or taken are exact for the longitudes of a plane.
  while (lon < reference - 180) lon += 360;
  while (lon >= reference + 180) lon -= 360;
  return lon;
}

double normal_longitude(double lon) { return longitude_near(lon, 0); }

LonLat surface_position(const SrfPlane& s, double along, double down) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  double lat1, lon1, azi1, azi2;
  LonLat p;
  wgs84.Direct(s.elat, s.elon, s.stk, along * 1000, lat1, lon1, azi1);
  double horizontal = down * std::cos(radians(s.dip)) * 1000;
  wgs84.Direct(lat1, lon1, azi1 + 90, horizontal, p.lat, p.lon, azi2);
  p.lon = longitude_near(p.lon, s.elon);
  return p;
}
