// Subfault positions against PROJ's geod (an independent geodesic code) to a
// millimetre, and depths, areas and rupture times against hand values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "fault/geometry.h"

namespace {

Description plane(double lat, double lon, double strike, double dip, double length, double width, double d) {
  Description desc;
  Plane& p = desc.plane;
  p.lat_top_center = lat, p.lon_top_center = lon, p.strike = strike, p.dip = dip;
  p.length = length, p.width = width, p.dlen = d, p.dwid = d;
  p.nstk = static_cast<int>(std::lround(length / d)), p.ndip = static_cast<int>(std::lround(width / d));
  p.depth_to_top = 1;
  p.hypo_along_stk = 0, p.hypo_down_dip = width / 2;
  desc.rupture_velocity = 3;
  return desc;
}

// One geodesic by geod: from (lat, lon) along azimuth az for s metres; the
// end point and the azimuth there back to the start.
struct GeodEnd {
  double lat, lon, back;
};
GeodEnd geod(double lat, double lon, double az, double s) {
  char cmd[256];
  std::snprintf(cmd, sizeof cmd, "echo '%.15g %.15g %.15g %.15g' | geod +ellps=WGS84 -f %%.12f", lat, lon, az, s);
  FILE* p = popen(cmd, "r");
  GeodEnd e{NAN, NAN, NAN};
  if (p) {
    if (std::fscanf(p, "%lf %lf %lf", &e.lat, &e.lon, &e.back) != 3) e.lat = NAN;
    pclose(p);
  }
  return e;
}

// The definition with geod: along strike (backwards for a negative offset),
// then 90 degrees clockwise of the first geodesic's azimuth at its end.
GeodEnd by_geod(const Plane& p, double along, double down) {
  GeodEnd a = along >= 0 ? geod(p.lat_top_center, p.lon_top_center, p.strike, along * 1000)
                         : geod(p.lat_top_center, p.lon_top_center, p.strike + 180, -along * 1000);
  // Azimuth of the strike direction at the end: the back azimuth turned
  // round when walking forwards, the back azimuth itself when backwards.
  double strike_there = along >= 0 ? a.back + 180 : a.back;
  double horizontal = down * std::cos(p.dip * std::numbers::pi / 180) * 1000;
  return geod(a.lat, a.lon, strike_there + 90, horizontal);
}

double metres_apart(double lat1, double lon1, double lat2, double lon2) {
  double dlon = std::remainder(lon1 - lon2, 360.0);
  double m_per_deg = 111320.0;
  return std::hypot((lat1 - lat2) * m_per_deg, dlon * m_per_deg * std::cos(lat1 * std::numbers::pi / 180));
}

TEST(FaultGeometry, PositionsAgreeWithGeodToAMillimetre) {
  if (std::system("command -v geod >/dev/null") != 0) GTEST_SKIP() << "geod (Debian proj-bin) is not installed";
  struct {
    const char* why;
    Description d;
  } cases[] = {
      {"an oblique thrust", plane(34.344, -118.515, 122, 40, 20, 12, 2)},
      {"a vertical strike-slip fault along a meridian", plane(-33.0, 151.2, 0, 90, 40, 15, 5)},
      {"a shallow dip near the pole", plane(69.5, 20.0, 359.5, 10, 30, 30, 10)},
      {"across the antimeridian", plane(0.5, 179.99, 270, 75, 60, 10, 10)},
      {"a 400 km fault, where the azimuth turns", plane(45, 90, 60, 30, 400, 20, 50)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const Plane& p = c.d.plane;
    for (int j = 1; j <= p.ndip; j += std::max(1, p.ndip - 1))
      for (int i = 1; i <= p.nstk; i += std::max(1, p.nstk / 3)) {
        SubfaultPlace s = place_subfault(c.d, i, j);
        GeodEnd g = by_geod(p, s.along, s.down);
        ASSERT_FALSE(std::isnan(g.lat)) << "geod gave no answer";
        EXPECT_LT(metres_apart(s.lat, s.lon, g.lat, g.lon), 1e-3) << i << "," << j;
      }
  }
}

// A plane across the antimeridian (its top centre at 179.95 or at 190, the
// same meridian written as -170): every longitude lies within 180 degrees of
// the top centre's, in [-180, 180), so the plane's points are continuous,
// and each position is geod's to a millimetre.
TEST(FaultGeometry, AcrossTheAntimeridianEveryPointNearTheTopCentre) {
  if (std::system("command -v geod >/dev/null") != 0) GTEST_SKIP() << "geod (Debian proj-bin) is not installed";
  struct {
    double lon, elon;  // as described, as the SRF states it
    double west, east; // where every point lies
  } cases[] = {{179.95, 179.95, 179.5, 180.5}, {-179.95, -179.95, -180.5, -179.5}, {190, -170, -170.5, -169.5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lon);
    Description d = plane(10, c.lon, 90, 60, 40, 10, 5);
    SrfPlane s = srf_plane(d.plane);
    EXPECT_EQ(s.elon, c.elon);
    for (int j = 1; j <= d.plane.ndip; j++)
      for (int i = 1; i <= d.plane.nstk; i++) {
        SubfaultPlace at = place_subfault(d, s, i, j);
        EXPECT_GT(at.lon, c.west) << i << "," << j;
        EXPECT_LT(at.lon, c.east) << i << "," << j;
        GeodEnd g = by_geod(d.plane, at.along, at.down);
        ASSERT_FALSE(std::isnan(g.lat)) << "geod gave no answer";
        EXPECT_LT(metres_apart(at.lat, at.lon, g.lat, g.lon), 1e-3) << i << "," << j;
      }
  }
}

// Centres, depths, areas and rupture times worked by hand on the small
// fault (4 x 3 of 2 km, dip 60, top at 2 km, hypocentre at (-1, 3), 2.5 km/s).
TEST(FaultGeometry, CentresDepthsAreasRuptureTimesByHand) {
  Description d = plane(36.5, 138.25, 30, 60, 8, 6, 2);
  d.plane.depth_to_top = 2;
  d.plane.hypo_along_stk = -1, d.plane.hypo_down_dip = 3;
  d.rupture_velocity = 2.5;
  struct {
    int i, j;
    double along, down, depth, tinit;
  } cases[] = {
      {1, 1, -3, 1, 2 + 1 * std::sqrt(3.0) / 2, std::sqrt(8.0) / 2.5},  // a corner: the diagonal to the hypocentre
      {2, 2, -1, 3, 2 + 3 * std::sqrt(3.0) / 2, 0},                     // the hypocentre's own subfault
      {4, 3, 3, 5, 2 + 5 * std::sqrt(3.0) / 2, std::sqrt(20.0) / 2.5},  // the far corner
  };
  for (const auto& c : cases) {
    SubfaultPlace s = place_subfault(d, c.i, c.j);
    EXPECT_DOUBLE_EQ(s.along, c.along);
    EXPECT_DOUBLE_EQ(s.down, c.down);
    EXPECT_NEAR(s.depth, c.depth, 1e-12);
    EXPECT_NEAR(s.tinit, c.tinit, 1e-12);
  }
  EXPECT_DOUBLE_EQ(subfault_area_km2(d.plane), 4);
}

}  // namespace
