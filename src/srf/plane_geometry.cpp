#include "srf/plane_geometry.h"

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <numbers>

void surface_position(double lat, double lon, double strike, double dip, double along, double down,
                      double& lat_out, double& lon_out) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  // Along strike first (a negative distance walks the geodesic backwards,
  // and its azimuth at the end is still the forward one), then down dip.
  double lat1, lon1, azi1, azi2;
  wgs84.Direct(lat, lon, strike, along * 1000, lat1, lon1, azi1);
  double horizontal = down * std::cos(dip * std::numbers::pi / 180) * 1000;
  wgs84.Direct(lat1, lon1, azi1 + 90, horizontal, lat_out, lon_out, azi2);
}
