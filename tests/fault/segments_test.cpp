// A fault of two segments: the front jumps the gap at the rupture velocity
// (the times worked here by hand on a flat map of the equator), the SRF has
// PLANE 2 with one POINTS block or, on request, one per segment, and the
// project's reader finds every fact of both; bad segments are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "srf/srf_file.h"
#include "support/tool_support.h"

namespace {

// Where geod (an independent geodesic code) ends from (lat, lon) along az.
bool geod(double lat, double lon, double az, double metres, double& lat2, double& lon2) {
  char cmd[256];
  std::snprintf(cmd, sizeof cmd, "echo '%.15g %.15g %.15g %.15g' | geod +ellps=WGS84 -f %%.12f", lat, lon, az, metres);
  FILE* p = popen(cmd, "r");
  double back;
  bool ok = p && std::fscanf(p, "%lf %lf %lf", &lat2, &lon2, &back) == 3;
  if (p) pclose(p);
  return ok;
}

// Two vertical segments one subfault deep on the equator: the first 10 km
// along strike 90 from (0, 0); past a gap of 2 km along its trace, the second
// 6 km along strike 120. The hypocentre at the centre of the first subfault.
std::string two_segments(double lat2, double lon2, const std::string& extra = "") {
  char buf[2048];
  std::snprintf(buf, sizeof buf,
                "HYPO_ALONG_STK = -4.5\nHYPO_DOWN_DIP = 0.5\n%s"
                "[[segment]]\nLON_TOP_CENTER = 0.0\nLAT_TOP_CENTER = 0.0\nDEPTH_TO_TOP = 1.0\nFAULT_LENGTH = 10.0\n"
                "DLEN = 1.0\nFAULT_WIDTH = 1.0\nDWID = 1.0\nSTRIKE = 90.0\nDIP = 90.0\nRAKE = 0.0\n"
                "[[segment]]\nLON_TOP_CENTER = %.12f\nLAT_TOP_CENTER = %.12f\nDEPTH_TO_TOP = 1.0\nFAULT_LENGTH = 6.0\n"
                "DLEN = 1.0\nFAULT_WIDTH = 1.0\nDWID = 1.0\nSTRIKE = 120.0\nDIP = 90.0\nRAKE = 0.0\n"
                "[[segment.area]]\nalong_strike = [0.0, 3.0]\ndown_dip = [0.0, 1.0]\nslip = 0.7\nvm = 1.2\n"
                "[rupture]\nvelocity = 2.5\n[medium]\nvs = 3.5\ndensity = 2.7\n"
                "[pulse]\nfmax = 6\nslip = 0.5\nvm = 0.8\nts = 1.5\n",
                extra.c_str(), lon2, lat2);
  return buf;
}

struct Facts : SrfVisitor {
  SrfHeader h;
  std::vector<long> declared;
  std::vector<SrfPoint> points;
  void header(const SrfHeader& x) override { h = x; }
  void block(int, long n) override { declared.push_back(n); }
  void point(const SrfPoint& p) override { points.push_back(p); }
};

TEST(Segments, TheFrontJumpsTheGapAtTheRuptureVelocity) {
  double slat, slon, clat, clon;
  if (!geod(0, 0, 90, 7000, slat, slon) || !geod(slat, slon, 120, 3000, clat, clon))
    GTEST_SKIP() << "geod (Debian proj-bin) is not installed";
  TempDir dir;
  dir.write("f.toml", two_segments(clat, clon));
  Ended one = run_fault(dir.path, {"-o", "one.srf", "f.toml"});
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(one.err, "");  // apart by a gap: no crossing
  Ended each = run_fault(dir.path, {"--points-per-segment", "-o", "each.srf", "f.toml"});
  ASSERT_EQ(each.code, 0) << each.err;
  EXPECT_NE(one.out.find("subfaults: 16 (10 along strike x 1 down dip, 1 x 1 km; 6 along strike x 1 down dip, "
                         "1 x 1 km), 16 with slip\narea: 16 km^2\n"),
            std::string::npos)
      << one.out;

  Facts a, b;
  read_srf(dir.file("one.srf"), a);
  read_srf(dir.file("each.srf"), b);
  EXPECT_EQ(a.declared, std::vector<long>({16}));
  EXPECT_EQ(b.declared, std::vector<long>({10, 6}));
  ASSERT_EQ(a.h.planes.size(), 2u);
  ASSERT_EQ(a.points.size(), 16u);
  ASSERT_EQ(b.points.size(), 16u);
  const SrfPlane &p1 = a.h.planes[0], &p2 = a.h.planes[1];
  EXPECT_EQ(p1.nstk, 10); EXPECT_EQ(p1.ndip, 1); EXPECT_EQ(p1.len, 10); EXPECT_EQ(p1.stk, 90);
  EXPECT_EQ(p2.nstk, 6); EXPECT_EQ(p2.ndip, 1); EXPECT_EQ(p2.len, 6); EXPECT_EQ(p2.stk, 120);
  EXPECT_EQ(p1.shyp, -4.5); EXPECT_EQ(p1.dhyp, 0.5);  // the hypocentre
  EXPECT_EQ(p2.shyp, -2.5); EXPECT_EQ(p2.dhyp, 0.5);  // where the front reaches the second first

  // On a flat map (east, north km) the first segment's centres are at
  // (-5 + i - 1/2, 0), reached at (i - 1) / Vr; the second's at the gap's end
  // (7, 0) plus (k - 1/2) along 120 degrees. All of the second's subfaults
  // are on its edge: each starts at min over i of T_i + distance / Vr.
  // A straight line between the segments runs 1.5 km below the surface,
  // where distances are shorter by the depth over the Earth's radius there.
  const double vr = 2.5, ue = std::sin(120 * std::numbers::pi / 180), un = std::cos(120 * std::numbers::pi / 180);
  const double deep = 1 - 1.5 / 6378.137;
  for (int k = 1; k <= 6; k++) {
    double e = 7 + (k - 0.5) * ue, n = (k - 0.5) * un, t = INFINITY;
    for (int i = 1; i <= 10; i++) t = std::min(t, (i - 1) / vr + deep * std::hypot(e - (-5 + i - 0.5), n) / vr);
    SCOPED_TRACE(k);
    EXPECT_NEAR(a.points[static_cast<size_t>(9 + k)].tinit, t, 2e-5);
    // With one velocity the least is the straight line from the hypocentre,
    // a little earlier than over the gap from the nearest subfault (the
    // 10th, reached at 9 / Vr, 2.94 km away): 4.7731 s against 4.7774 s.
    if (k == 1) EXPECT_NEAR(t, deep * std::hypot(11.5 + 0.5 * ue, 0.5 * un) / vr, 1e-12);
  }
  for (int i = 1; i <= 10; i++) EXPECT_NEAR(a.points[static_cast<size_t>(i - 1)].tinit, (i - 1) / vr, 1e-6);
  // The same points in either layout; the area's slip on the second segment only.
  for (size_t k = 0; k < 16; k++) {
    EXPECT_EQ(a.points[k].tinit, b.points[k].tinit);
    EXPECT_EQ(a.points[k].slip1, b.points[k].slip1);
    EXPECT_EQ(a.points[k].lon, b.points[k].lon);
  }
  EXPECT_GT(a.points[13].slip1, 69.0);  // second segment, along 0.5 km: in the area
  EXPECT_LT(a.points[9].slip1, 51.0);   // second segment, along -2.5 km: the plane's
  EXPECT_LT(a.points[4].slip1, 51.0);   // first segment, along 0.5 km: the area is not its own

  // The same bytes on any number of threads.
  Ended j1 = run_fault(dir.path, {"-j", "1", "-o", "j1.srf", "f.toml"});
  ASSERT_EQ(j1.code, 0) << j1.err;
  EXPECT_EQ(dir.read("j1.srf"), dir.read("one.srf"));

  // A table row addressed by segment wins over its area.
  std::string with_table = two_segments(clat, clon);
  with_table.replace(with_table.find("[rupture]"), 9, "[subfaults]\ntable = \"t.csv\"\n[rupture]");
  dir.write("t.toml", with_table);
  dir.write("t.csv", "segment,i,j,fmax,slip,vm,ts\n2,5,1,6,0.3,0.8,1.5\n");
  Ended t = run_fault(dir.path, {"-o", "t.srf", "t.toml"});
  ASSERT_EQ(t.code, 0) << t.err;
  Facts tf;
  read_srf(dir.file("t.srf"), tf);
  ASSERT_EQ(tf.points.size(), 16u);
  EXPECT_LT(tf.points[14].slip1, 31.0);  // segment 2, subfault 5: the row's 0.3 m
  EXPECT_GT(tf.points[4].slip1, 49.0);   // segment 1, subfault 5: the plane's
  dir.write("t.csv", "segment,i,j,fmax,slip,vm,ts\n3,5,1,6,0.3,0.8,1.5\n");
  expect_refused(dir.path, {"-o", "t.srf", "t.toml"}, "t.csv:2: segment 3 does not exist: the fault has 2 segments");

  Ended info = run_fault(dir.path, {"info", "each.srf"});
  EXPECT_NE(info.out.find("segments: 2 (10 x 1 subfaults, 10 x 1 km; 6 x 1 subfaults, 6 x 1 km)\n"
                          "POINTS blocks: 2\npoints: 16\n"),
            std::string::npos)
      << info.out;
}

// Segments that pass through each other may be meant (a branching fault):
// a warning names them and the run goes on.
TEST(Segments, CrossingSegmentsAreNamed) {
  TempDir dir;
  // The second along the meridian through the first's middle, from 0.5 to
  // 1.5 km deep: the first's top edge (1 km) passes through it.
  std::string t = two_segments(0.0, 0.0);
  t.replace(t.find("STRIKE = 120.0"), 14, "STRIKE = 0.0");
  t.replace(t.rfind("DEPTH_TO_TOP = 1.0"), 18, "DEPTH_TO_TOP = 0.5");
  dir.write("f.toml", t);
  Ended r = run_fault(dir.path, {"f.toml"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "slipvel-fault: warning: f.toml:14: segments 1 and 2 cross each other's planes; the front still "
                   "jumps between them as over a gap\n");
}

TEST(Segments, EachBadSegmentRefused) {
  std::string ok = two_segments(-0.013, 0.076);
  auto edited = [&](const std::string& from, const std::string& to) {
    std::string t = ok;
    size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) t.replace(at, from.size(), to);
    return t;
  };
  struct {
    const char* why;
    std::string description, message;
  } cases[] = {
      {"HYPO_SEGMENT beyond the segments", two_segments(-0.013, 0.076, "HYPO_SEGMENT = 3\n"),
       "f.toml:3: HYPO_SEGMENT = 3 names no segment (the segments are 1 to 2)"},
      {"HYPO_SEGMENT 0", two_segments(-0.013, 0.076, "HYPO_SEGMENT = 0\n"),
       "f.toml:3: HYPO_SEGMENT = 0 names no segment (the segments are 1 to 2)"},
      {"HYPO_SEGMENT without segments",
       "HYPO_SEGMENT = 1\n" + fault_data("small.toml").substr(0, fault_data("small.toml").find("[subfaults]")),
       "f.toml:1: HYPO_SEGMENT names no segment: the fault has no [[segment]]"},
      {"a segment without its dip", edited("STRIKE = 120.0\nDIP = 90.0\n", "STRIKE = 120.0\n"),
       "f.toml:14: [segment] has no key DIP"},
      {"a plane key at the top", "DIP = 45.0\n" + ok,
       "f.toml:1: DIP belongs in each [[segment]] when the fault has segments"},
      {"an area at the top", ok + "[[area]]\nalong_strike = [0.0, 1.0]\ndown_dip = [0.0, 1.0]\n",
       "f.toml:40: with segments, an area goes in its segment: [[segment.area]]"},
      {"an area off its segment", edited("along_strike = [0.0, 3.0]", "along_strike = [0.0, 4.0]"),
       "f.toml:26: area.along_strike = [0, 4] is outside the plane [-3, 3]"},
      {"the hypocentre off its segment", edited("HYPO_ALONG_STK = -4.5", "HYPO_ALONG_STK = -5.5"),
       "f.toml:1: HYPO_ALONG_STK = -5.5 is outside the plane (along strike -FAULT_LENGTH/2 to FAULT_LENGTH/2)"},
      {"a negative delay", edited("STRIKE = 120.0\n", "STRIKE = 120.0\ndelay = -1\n"),
       "f.toml:23: segment.delay = -1 is outside [0, inf) s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    dir.write("f.toml", c.description);
    expect_refused(dir.path, {"f.toml"}, c.message);
  }
}

}  // namespace
