// The rupture front as the first arrival on the plane: for a uniform Vr the
// eikonal solver's times are the straight distance over Vr at every
// subfault; in two layers the front along the faster one overtakes the
// direct front (a head wave), and the times agree with the ray paths worked
// here by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "crust/eikonal.h"
#include "crust/medium.h"
#include "support/tool_support.h"

namespace {

TEST(RuptureFront, UniformVelocityGivesDistanceOverVelocity) {
  struct {
    const char* why;
    EikonalGrid g;
    double x0, y0, vr;
  } cases[] = {
      {"inside, square cells", {40, 25, 0.5, 0.5}, 3.3, 7.1, 2.8},
      {"at a corner", {30, 12, 1.0, 1.0}, 0.0, 0.0, 2.52},
      {"on the bottom edge, long cells", {20, 30, 2.0, 0.5}, 21.0, 15.0, 3.1},
      {"at a subfault centre", {9, 9, 1.0, 1.0}, 4.5, 4.5, 2.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    auto speed = [&](double) { return c.vr; };
    std::vector<double> t = times_from_point(c.g, c.x0, c.y0, speed, eikonal_refinement(c.g));
    ASSERT_EQ(t.size(), static_cast<size_t>(c.g.nx * c.g.ny));
    for (int j = 0; j < c.g.ny; j++)
      for (int i = 0; i < c.g.nx; i++) {
        double d = std::hypot((i + 0.5) * c.g.hx - c.x0, (j + 0.5) * c.g.hy - c.y0) / c.vr;
        // The factored scheme holds tau = 1 exactly: far below 1e-3.
        EXPECT_NEAR(t[static_cast<size_t>(j * c.g.nx + i)], d, 1e-9 * d + 1e-12) << i << "," << j;
      }
  }
}

// The ratio near the surface: shallow_ratio down to shallow_depth, a straight
// line over the kilometre below, the ratio deeper; a layer's boundary goes to
// the deeper layer.
TEST(RuptureFront, ShallowRatioAndLayerBoundaries) {
  VelocityRatio r;
  r.ratio = 0.8, r.shallow_ratio = 0.6, r.shallow_depth = 4.0;
  const double depth[] = {0, 4, 4.25, 4.5, 5, 12};
  const double want[] = {0.6, 0.6, 0.65, 0.7, 0.8, 0.8};
  for (int k = 0; k < 6; k++) EXPECT_NEAR(ratio_at(r, depth[k]), want[k], 1e-15) << depth[k];
  Medium m = layered_medium({{2, 4, 2.5, 2.4}, {3, 5, 3, 2.5}, {0, 6, 3.5, 2.7}});
  const double at[] = {0, 1.999999, 2, 4.9, 5, 100};
  const double vs[] = {2.5, 2.5, 3, 3, 3.5, 3.5};
  for (int k = 0; k < 6; k++) EXPECT_EQ(layer_at(m, at[k]).vs, vs[k]) << at[k];
}

// Times of the --csv by subfault (i, j).
double csv_tinit(const std::string& csv, int i, int j) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    int a = 0, b = 0;
    double along, down, lon, lat, depth, t;
    if (std::sscanf(line.c_str(), "%d,%d,%lf,%lf,%lf,%lf,%lf,%lf", &a, &b, &along, &down, &lon, &lat, &depth, &t) ==
            8 &&
        a == i && b == j)
      return t;
  }
  return NAN;
}

// A vertical fault 30 x 6 km from the surface; a slow layer (Vr 0.8 x 2.5 =
// 2 km/s) 2 km thick over a fast one (0.8 x 5 = 4 km/s); the hypocentre 1 km
// deep, 1 km from the left edge.
TEST(RuptureFront, TwoLayersHeadWaveByHand) {
  TempDir dir;
  dir.write("f.toml",
            "LON_TOP_CENTER = 138.25\nLAT_TOP_CENTER = 36.5\nDEPTH_TO_TOP = 0.0\nFAULT_LENGTH = 30.0\nDLEN = 1.0\n"
            "FAULT_WIDTH = 6.0\nDWID = 1.0\nSTRIKE = 30.0\nDIP = 90.0\nRAKE = 90.0\nHYPO_ALONG_STK = -14.0\n"
            "HYPO_DOWN_DIP = 1.0\n[rupture]\nvelocity_ratio = 0.8\n[medium]\n"
            "layers = [[2.0, 4.0, 2.5, 2.4], [0.0, 6.0, 5.0, 2.7]]\n"
            "[pulse]\nfmax = 6\nslip = 0.5\nvm = 0.8\nts = 1.5\n");
  Ended r = run_fault(dir.path, {"--csv", "s.csv", "f.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string csv = dir.read("s.csv");
  const double v1 = 2, v2 = 4, sin_c = v1 / v2, cos_c = std::sqrt(1 - sin_c * sin_c), tan_c = sin_c / cos_c;
  // Subfault (30, 2): 28.5 km along, 0.5 km above the boundary, the source
  // 1 km above it. The head wave: down to the boundary and up again at the
  // critical angle, along it at v2.
  double x = 28.5, hs = 1.0, hr = 0.5;
  double head = (hs + hr) / (v1 * cos_c) + (x - (hs + hr) * tan_c) / v2;
  double direct = std::hypot(x, hr) / v1;
  ASSERT_LT(head, direct / 1.8);  // 7.77 s against 14.25 s: the head wave first
  EXPECT_NEAR(csv_tinit(csv, 30, 2), head, 1e-3 * head);
  // Subfault (30, 4), 1.5 km into the fast layer: the refracted ray, its
  // crossing point u found by a ternary search of the travel time.
  auto refracted = [&](double u) { return std::hypot(u, hs) / v1 + std::hypot(x - u, 1.5) / v2; };
  double lo = 0, hi = x;
  for (int k = 0; k < 200; k++) {
    double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (refracted(m1) < refracted(m2)) hi = m2;
    else lo = m1;
  }
  EXPECT_NEAR(csv_tinit(csv, 30, 4), refracted(lo), 1e-3 * refracted(lo));
  // Near the hypocentre the direct front comes first: subfault (4, 1).
  double near = std::hypot(2.5, 0.5) / v1;
  EXPECT_NEAR(csv_tinit(csv, 4, 1), near, 1e-3 * near);
}

}  // namespace
