// A layered crust: each subfault takes the VS and density of the layer that
// holds its centre (a centre on a boundary the deeper layer's), its moment
// mu_i A D_i with mu_i = rho_i beta_i^2, worked here by hand; the platforms'
// velocity file gives the same source as the same layers in the description;
// and every bad medium or rupture velocity refused with its exact line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "srf/srf_file.h"
#include "support/tool_support.h"

namespace {

// A vertical fault 4 x 8 km of 1 x 1 km subfaults, top at 0.5 km: row j has
// its centres at depth j km, so rows 2 and 5 sit exactly on the boundaries
// of the layers below (2 and 5 km).
std::string layered(const std::string& medium, const std::string& extra = "") {
  return "LON_TOP_CENTER = 138.25\nLAT_TOP_CENTER = 36.5\nDEPTH_TO_TOP = 0.5\nFAULT_LENGTH = 4.0\nDLEN = 1.0\n"
         "FAULT_WIDTH = 8.0\nDWID = 1.0\nSTRIKE = 30.0\nDIP = 90.0\nRAKE = 90.0\nHYPO_ALONG_STK = 0.0\n"
         "HYPO_DOWN_DIP = 4.0\n" + extra + "[rupture]\nvelocity = 2.5\n[medium]\n" + medium +
         "[pulse]\nfmax = 6\nslip = 0.5\nvm = 0.8\nts = 1.5\n";
}

const std::string three_layers =
    "layers = [[2.0, 3.6, 2.0, 2.2], [3.0, 5.2, 3.0, 2.5], [0.0, 6.2, 3.6, 2.8]]\n";

struct Point {
  double dep, vs, den, area, slip1;
};
struct Points : SrfVisitor {
  std::vector<Point> p;
  void point(const SrfPoint& s) override { p.push_back({s.dep, s.vs, s.den, s.area, s.slip1}); }
};

std::vector<Point> points_of(const std::string& path) {
  Points v;
  read_srf(path, v);
  return v.p;
}

TEST(LayeredMedium, SubfaultsTakeTheirLayerAndTheMomentSumsMuAD) {
  TempDir dir;
  dir.write("f.toml", layered(three_layers));
  Ended r = run_fault(dir.path, {"f.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<Point> pts = points_of(dir.file("f.srf"));
  ASSERT_EQ(pts.size(), 32u);
  // By row: 1 km in the first layer; 2 (on the boundary), 3, 4 km in the
  // second; 5 (on the boundary) to 8 km in the half-space.
  const double vs[] = {2.0, 3.0, 3.0, 3.0, 3.6, 3.6, 3.6, 3.6}, den[] = {2.2, 2.5, 2.5, 2.5, 2.8, 2.8, 2.8, 2.8};
  double moment = 0;
  for (size_t k = 0; k < pts.size(); k++) {
    size_t j = k / 4;
    SCOPED_TRACE(k);
    EXPECT_NEAR(pts[k].dep, static_cast<double>(j + 1), 1e-9);
    EXPECT_EQ(pts[k].vs, vs[j] * 1e5);  // cm/s as printed, %13.5e
    EXPECT_EQ(pts[k].den, den[j]);
    // mu = rho beta^2 in Pa, the area 1 km^2, SLIP1 in cm.
    moment += (den[j] * 1000) * (vs[j] * 1000) * (vs[j] * 1000) * 1e6 * (pts[k].slip1 / 100);
  }
  // SLIP1 as printed (4 decimals) against the run's own: within 1e-6.
  double printed = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.find("moment: "), "moment: %lf", &printed), 1) << r.out;
  EXPECT_NEAR(printed / moment, 1, 1e-6);
  // Area-weighted means: 1, 3 and 4 rows of the three layers.
  EXPECT_NE(r.out.find("medium: 3 layers, over the plane (area-weighted) vs 3.1750 km/s, density 2.6125 g/cm^3, "
                       "mu 2.768150e+10 Pa\n"),
            std::string::npos)
      << r.out;
  Ended info = run_fault(dir.path, {"info", "f.srf"});
  char line[80];
  std::snprintf(line, sizeof line, "moment M0: %.6e N m\n", moment);
  EXPECT_NE(info.out.find(line), std::string::npos) << info.out;
}

// The magnitude's factor weighs each subfault's slip by its own mu.
TEST(LayeredMedium, MagnitudeReachedThroughTheLayers) {
  TempDir dir;
  dir.write("f.toml", layered(three_layers, "MAGNITUDE = 5.6\n"));
  Ended r = run_fault(dir.path, {"f.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  double moment = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.find("moment: "), "moment: %lf", &moment), 1) << r.out;
  EXPECT_NEAR(moment / std::pow(10.0, 1.5 * 5.6 + 9.1), 1, 1e-4);  // as for a uniform medium
  EXPECT_NE(r.out.find(", Mw 5.6000\n"), std::string::npos) << r.out;
}

// The broadband platforms' layout (count, then thickness vp vs rho qp qs)
// gives the very bytes of the same layers in the description.
TEST(LayeredMedium, VelocityFileOfThePlatforms) {
  TempDir dir;
  dir.write("f.toml", layered(three_layers));
  dir.write("g.toml", layered("velocity_file = \"crust/model.vel\"\n"));
  ASSERT_EQ(system(("mkdir " + dir.file("crust")).c_str()), 0);
  dir.write("crust/model.vel",
            "3\n2.0 3.6 2.0 2.2 360.0 180.0\n  3.0\t5.2  3.0  2.5  500.0  250.0\r\n999.0 6.2 3.6 2.8 600.0 300.0\n\n");
  ASSERT_EQ(run_fault(dir.path, {"f.toml"}).code, 0);
  Ended r = run_fault(dir.path, {"g.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(dir.read("g.srf"), dir.read("f.srf"));
  // The velocity file is an input: no output replaces it.
  expect_refused(dir.path, {"-o", "crust/model.vel", "g.toml"},
                 "crust/model.vel: is an input of this run; choose another name");
}

struct Bad {
  const char* why;
  std::string description, vel, message;
};

TEST(LayeredMedium, EachBadMediumOrVelocityRefused) {
  const std::string ok_vel = "2\n2.0 3.6 2.0 2.2 360 180\n0 6.2 3.6 2.8 600 300\n";
  const std::string by_file = layered("velocity_file = \"m.vel\"\n");
  auto rupture = [&](const std::string& keys) {
    std::string t = layered(three_layers);
    t.replace(t.find("velocity = 2.5\n"), 15, keys);
    return t;
  };
  const Bad cases[] = {
      {"no velocity file", layered("velocity_file = \"none.vel\"\n"), "",
       "f.toml:16: medium.velocity_file: none.vel: cannot read: No such file or directory"},
      {"a count that is not one", by_file, "two\n2.0 3.6 2.0 2.2 360 180\n",
       "f.toml:16: medium.velocity_file: m.vel:1: the first line must be the number of layers, a whole number from "
       "1, not \"two\""},
      {"fewer layers than the count", by_file, "3\n2.0 3.6 2.0 2.2 360 180\n3 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel: 2 layers, fewer than the 3 that line 1 declares"},
      {"more layers than the count", by_file, "1\n2.0 3.6 2.0 2.2 360 180\n0 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:3: more layers than the 1 that line 1 declares"},
      {"a layer without its Q", by_file, "2\n2.0 3.6 2.0 2.2\n0 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:2: layer 1 has 4 fields, not 6 (thickness vp vs rho qp qs)"},
      {"a word for a number", by_file, "2\n2.0 3.6 2.0 x 360 180\n0 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:2: layer 1: rho \"x\" is not a finite number"},
      {"a zero thickness", by_file, "2\n0 3.6 2.0 2.2 360 180\n0 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:2: layer 1: thickness = 0 is outside (0, inf) km"},
      {"a zero vs", by_file, "2\n2.0 3.6 2.0 2.2 360 180\n0 6.2 0 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:3: layer 2: vs = 0 is outside (0, inf) km/s"},
      {"a negative density", by_file, "2\n2.0 3.6 2.0 -2.2 360 180\n0 6.2 3.6 2.8 600 300\n",
       "f.toml:16: medium.velocity_file: m.vel:2: layer 1: density = -2.2 is outside (0, inf) g/cm^3"},
      {"a table row of three", layered("layers = [[2.0, 3.6, 2.0, 2.2], [6.2, 3.6, 2.8]]\n"), "",
       "f.toml:16: medium.layers[2] must be [thickness, vp, vs, density] (km, km/s, km/s, g/cm^3)"},
      {"a table thickness of zero", layered("layers = [[0.0, 3.6, 2.0, 2.2], [0, 6.2, 3.6, 2.8]]\n"), "",
       "f.toml:16: medium.layers: layer 1: thickness = 0 is outside (0, inf) km"},
      {"a table vs of zero", layered("layers = [[1.0, 3.6, 2.0, 2.2], [0, 6.2, 0, 2.8]]\n"), "",
       "f.toml:16: medium.layers: layer 2: vs = 0 is outside (0, inf) km/s"},
      {"uniform and layered at once", layered("vs = 3.0\n" + three_layers), "",
       "f.toml:15: [medium] takes one of: vs and density, layers, velocity_file"},
      {"a velocity and a ratio", rupture("velocity = 2.5\nvelocity_ratio = 0.8\n"), "",
       "f.toml:13: [rupture] takes one of velocity and velocity_ratio"},
      {"neither", rupture("shallow_ratio = 0.6\n"), "", "f.toml:13: [rupture] takes one of velocity and velocity_ratio"},
      {"a ratio of 0", rupture("velocity_ratio = 0\n"), "", "f.toml:14: rupture.velocity_ratio = 0 is outside (0, 1.5]"},
      {"a ratio beyond 1.5", rupture("velocity_ratio = 1.51\n"), "",
       "f.toml:14: rupture.velocity_ratio = 1.51 is outside (0, 1.5]"},
      {"a shallow ratio beyond 1.5", rupture("velocity_ratio = 0.8\nshallow_ratio = 2\nshallow_depth = 3\n"), "",
       "f.toml:15: rupture.shallow_ratio = 2 is outside (0, 1.5]"},
      {"a shallow ratio without its depth", rupture("velocity_ratio = 0.8\nshallow_ratio = 0.6\n"), "",
       "f.toml:15: rupture.shallow_ratio needs shallow_depth"},
      {"a shallow ratio with a velocity", rupture("velocity = 2.5\nshallow_ratio = 0.6\nshallow_depth = 3\n"), "",
       "f.toml:15: rupture.shallow_ratio needs velocity_ratio"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    dir.write("f.toml", c.description);
    if (!c.vel.empty()) dir.write("m.vel", c.vel);
    expect_refused(dir.path, {"--csv", "sub.csv", "f.toml"}, c.message);
  }
  // The ratio's upper end is in the range.
  TempDir dir;
  dir.write("f.toml", rupture("velocity_ratio = 1.5\n"));
  EXPECT_EQ(run_fault(dir.path, {"f.toml"}).code, 0);
}

}  // namespace
