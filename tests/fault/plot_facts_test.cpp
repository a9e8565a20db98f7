// What the figure of an SRF file keeps of its points: fed through the
// reader's visitor interface with stand-in points, as the reader hands them.
#include <gtest/gtest.h>

#include <cmath>

#include "pictures/plot_facts.h"
#include "pictures/plot_layout.h"

namespace {

SrfPlane plane(int nstk, int ndip, double len, double wid) {
  SrfPlane s;
  s.elon = -122;
  s.elat = 38;
  s.nstk = nstk;
  s.ndip = ndip;
  s.len = len;
  s.wid = wid;
  s.stk = 90;
  s.dip = 90;
  s.dtop = 1;
  return s;
}

// A point with `slip` cm of u1 and the given samples (DT 0.1 s).
SrfPoint point(double slip, std::vector<double> sr1, double tinit = 1, double dep = 1) {
  SrfPoint p;
  p.slip1 = slip;
  p.sr1 = std::move(sr1);
  p.tinit = tinit;
  p.dt = 0.1;
  p.dep = dep;
  p.area = 1e10;  // 1 km^2
  p.stk = 90;
  p.dip = 90;
  return p;
}

FaultFacts collect(const SrfHeader& h, const std::vector<SrfPoint>& points) {
  FactsCollector c;
  c.header(h);
  c.block(0, static_cast<long>(points.size()));
  for (const SrfPoint& p : points) c.point(p);
  return c.finish();
}

// A 4 x 3 plane of 8 x 3 km, hypocentre at 1 km along strike, 2.5 km down.
SrfHeader four_by_three() {
  SrfHeader h;
  h.version = "2.0";
  h.planes = {plane(4, 3, 8, 3)};
  h.planes[0].shyp = 1;
  h.planes[0].dhyp = 2.5;
  return h;
}

}  // namespace

// The measures of one point: slip is the length of the slip vector, the
// peak and duration come from the samples (the duration ends at the last
// non-zero sample, not at the trailing zeros).
TEST(PlotFacts, PointMeasuresFromItsSlipAndSamples) {
  SrfHeader h;
  h.version = "1.0";
  SrfPoint p = point(3, {0, 10, 30, 20, 0, 0});
  p.slip2 = 4;
  p.sr2 = {0, 0, 40};  // u2 adds to the third sample: |(30, 40)| = 50
  FaultFacts f = collect(h, {p});
  ASSERT_EQ(f.points.size(), 1u);
  EXPECT_FLOAT_EQ(f.points[0].slip, 5.0f);
  EXPECT_FLOAT_EQ(f.points[0].peak, 50.0f);
  EXPECT_FLOAT_EQ(f.points[0].duration, 0.3f);
  EXPECT_EQ(f.points_with_samples, 1);
  EXPECT_FALSE(f.on_planes);
}

// Points that fill the plane are placed along strike fastest from the top:
// point n sits at i = n % NSTK, j = n / NSTK, centres at -LEN/2 + (i + 1/2) DLEN
// and (j + 1/2) DWID.
TEST(PlotFacts, PlanePositionsAlongStrikeFastestFromTheTop) {
  std::vector<SrfPoint> pts(12, point(1, {1}));
  FaultFacts f = collect(four_by_three(), pts);
  ASSERT_TRUE(f.on_planes);
  struct Case {
    long n;
    int i, j;
    double x, y;
  } cases[] = {
      {0, 0, 0, -3, 0.5},   // first point: top left (start of strike)
      {3, 3, 0, 3, 0.5},    // end of the top row
      {4, 0, 1, -3, 1.5},   // second row starts again at the left
      {11, 3, 2, 3, 2.5},   // bottom right
  };
  for (const Case& c : cases) {
    PlanePosition p = plane_position(f, c.n);
    EXPECT_EQ(p.segment, 0);
    EXPECT_EQ(p.i, c.i) << c.n;
    EXPECT_EQ(p.j, c.j) << c.n;
    EXPECT_DOUBLE_EQ(p.x, c.x) << c.n;
    EXPECT_DOUBLE_EQ(p.y, c.y) << c.n;
  }
}

// The four telling subfaults on a plane: the hypocentre's cell from SHYP and
// DHYP (1 km along, 2.5 km down: i = 2, j = 2, point 10), the largest slip,
// the longest duration and the edge point with the most slip; their samples
// are kept, and nobody else's.
TEST(PlotFacts, TellingSubfaultsOnAPlane) {
  std::vector<SrfPoint> pts(12, point(1, {1}));
  pts[5] = point(90, {5, 50, 5});                // inside: the largest slip
  pts[6] = point(2, {1, 1, 1, 1, 1, 1, 0});      // inside: the longest, 0.5 s
  pts[8] = point(40, {4, 40});                   // left edge, the edge's largest
  pts[10] = point(7, {7, 0}, 0.0);               // the hypocentre's cell
  FaultFacts f = collect(four_by_three(), pts);
  ASSERT_EQ(f.telling.size(), 4u);
  EXPECT_EQ(f.telling[0].role, "hypocentre");
  EXPECT_EQ(f.telling[0].index, 10);
  EXPECT_EQ(f.telling[1].index, 5);
  EXPECT_EQ(f.telling[1].rate, (std::vector<float>{5, 50, 5}));
  EXPECT_EQ(f.telling[2].index, 6);
  EXPECT_EQ(f.telling[3].role, "edge");
  EXPECT_EQ(f.telling[3].index, 8);
  EXPECT_EQ(f.hypocentre.segment, 0);
  EXPECT_DOUBLE_EQ(f.hypocentre.x, 1);
  EXPECT_DOUBLE_EQ(f.hypocentre.y, 2.5);
}

// Fewer points than the PLANE announces: the points are drawn from their own
// positions; the hypocentre is then the point reached first and the edge the
// deepest row's largest slip.
TEST(PlotFacts, PointsThatDoNotFillThePlaneAreDrawnFromTheirPositions) {
  std::vector<SrfPoint> pts = {point(5, {1}, 2.0, 1.0), point(6, {1}, 0.5, 1.0), point(9, {1}, 3.0, 4.0),
                               point(8, {1}, 1.0, 4.0005), point(20, {1}, 4.0, 2.0)};
  FaultFacts f = collect(four_by_three(), pts);
  EXPECT_FALSE(f.on_planes);
  EXPECT_EQ(f.hypocentre.segment, -1);
  EXPECT_EQ(f.telling[0].index, 1);  // TINIT 0.5
  EXPECT_EQ(f.telling[1].index, 4);
  EXPECT_EQ(f.telling[3].index, 2);  // 4 km and 4.0005 km are one row: slip 9 beats 8
}

// Projected positions (km): along the mean strike and down the mean dip. East of
// a first point on a strike of 90 degrees is along strike; depth on a
// vertical plane is down dip.
TEST(PlotFacts, ProjectionAlongStrikeAndDownDip) {
  SrfHeader h;
  h.version = "1.0";
  SrfPoint a = point(1, {1}, 0, 1), b = point(1, {1}, 0, 3);
  a.lon = -122;
  a.lat = 0;
  b.lon = -122 + 2 / (6371.0088 * M_PI / 180);  // 2 km east on the equator
  b.lat = 0;
  FaultFacts f = collect(h, {a, b});
  ProjectedPoints p = project_points(f);
  ASSERT_EQ(p.x.size(), 2u);
  // Longitudes are kept as floats: a metre, as good as a picture needs.
  EXPECT_NEAR(p.x[0], -1, 1e-3);
  EXPECT_NEAR(p.x[1], 1, 1e-3);
  EXPECT_NEAR(p.y[0], 0.5, 1e-5);  // half a 1-km subfault below the top
  EXPECT_NEAR(p.y[1], 2.5, 1e-5);
}

// Round steps for tics and contour intervals.
TEST(PlotLayout, RoundSteps) {
  struct Case {
    double span, count, step;
  } cases[] = {{14.032, 8, 2}, {9.4834, 8, 1}, {3.0, 8, 0.5}, {100, 4, 20}, {0.07, 7, 0.01}, {0, 8, 1}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(round_step(c.span, c.count), c.step) << c.span;
}

// Planes are drawn to scale within limits: 20 x 13 km keeps its shape, a long
// thin 100 x 5 km plane is widened to a quarter of its length, a deep narrow
// one is cut to 1.2 times; each segment gets its row, the functions below.
TEST(PlotLayout, PanelsKeepThePlaneShapeWithinLimits) {
  FigureLayout l = lay_out_figure({{20, 13}, {100, 5}, {2, 10}});
  ASSERT_EQ(l.rows.size(), 3u);
  EXPECT_EQ(l.width, 1800);
  EXPECT_NEAR(l.rows[0][0].height() / l.rows[0][0].width(), 0.65, 0.005);
  EXPECT_NEAR(l.rows[1][2].height() / l.rows[1][2].width(), 0.25, 0.005);
  EXPECT_NEAR(l.rows[2][1].height() / l.rows[2][1].width(), 1.2, 0.005);
  EXPECT_GT(l.rows[1][0].top, l.rows[0][0].bottom);
  EXPECT_GT(l.functions.top, l.rows[2][0].bottom);
  EXPECT_LE(l.functions.bottom, l.height);
}

// Of several segments each with SHYP, DHYP on its plane (this tool writes on
// each the place the front reaches it first), the hypocentre is the one
// reached first; the first segment's where they tie.
TEST(PlotFacts, HypocentreOfSeveralSegmentsIsTheEarliest) {
  SrfHeader h;
  h.version = "2.0";
  h.planes = {plane(2, 1, 2, 1), plane(2, 1, 2, 1)};
  h.planes[0].shyp = -0.5, h.planes[0].dhyp = 0.5;  // its first subfault
  h.planes[1].shyp = 0.5, h.planes[1].dhyp = 0.5;   // its second
  struct {
    double t[4];
    int segment, i;
  } cases[] = {{{3, 2, 1, 0}, 1, 1}, {{0, 1, 2, 3}, 0, 0}, {{1, 2, 3, 1}, 0, 0}};
  for (const auto& c : cases) {
    std::vector<SrfPoint> pts;
    for (double t : c.t) pts.push_back(point(10, {1, 2, 1}, t));
    FaultFacts f = collect(h, pts);
    EXPECT_EQ(f.hypocentre.segment, c.segment);
    EXPECT_EQ(f.hypocentre.i, c.i);
    EXPECT_EQ(f.telling[0].index, 2L * c.segment + c.i);
  }
}
