// The SRF reader on files written here by hand: every value comes back as
// written, in the order of the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/refusal.h"
#include "srf/srf_file.h"
#include "support/run_program.h"

namespace {

// Keeps what the reader hands over, and the order it came in.
struct Kept : SrfVisitor {
  SrfHeader head;
  std::vector<SrfPoint> points;
  std::vector<std::string> order;
  void header(const SrfHeader& h) override {
    head = h;
    order.push_back("header");
  }
  void block(int index, long declared) override {
    order.push_back("block " + std::to_string(index) + " of " + std::to_string(declared));
  }
  void point(const SrfPoint& p) override {
    points.push_back(p);
    order.push_back("point on line " + std::to_string(p.line));
  }
};

Kept read_text(const std::string& text, std::vector<std::string>* warnings = nullptr) {
  TempDir dir;
  dir.write("f.srf", text);
  Kept kept;
  read_srf(dir.file("f.srf"), kept, warnings);
  return kept;
}

void expect_plane(const SrfPlane& got, const SrfPlane& want, const std::string& which) {
  SCOPED_TRACE(which);
  EXPECT_EQ(got.elon, want.elon);
  EXPECT_EQ(got.elat, want.elat);
  EXPECT_EQ(got.nstk, want.nstk);
  EXPECT_EQ(got.ndip, want.ndip);
  EXPECT_EQ(got.len, want.len);
  EXPECT_EQ(got.wid, want.wid);
  EXPECT_EQ(got.stk, want.stk);
  EXPECT_EQ(got.dip, want.dip);
  EXPECT_EQ(got.dtop, want.dtop);
  EXPECT_EQ(got.shyp, want.shyp);
  EXPECT_EQ(got.dhyp, want.dhyp);
}

void expect_point(const SrfPoint& got, const SrfPoint& want) {
  SCOPED_TRACE("the point on line " + std::to_string(want.line));
  EXPECT_EQ(got.line, want.line);
  EXPECT_EQ(got.block, want.block);
  EXPECT_EQ(got.lon, want.lon);
  EXPECT_EQ(got.lat, want.lat);
  EXPECT_EQ(got.dep, want.dep);
  EXPECT_EQ(got.stk, want.stk);
  EXPECT_EQ(got.dip, want.dip);
  EXPECT_EQ(got.area, want.area);
  EXPECT_EQ(got.tinit, want.tinit);
  EXPECT_EQ(got.dt, want.dt);
  EXPECT_EQ(got.has_medium, want.has_medium);
  EXPECT_EQ(got.vs, want.vs);
  EXPECT_EQ(got.den, want.den);
  EXPECT_EQ(got.rake, want.rake);
  EXPECT_EQ(got.slip1, want.slip1);
  EXPECT_EQ(got.slip2, want.slip2);
  EXPECT_EQ(got.slip3, want.slip3);
  EXPECT_EQ(got.sr1, want.sr1);
  EXPECT_EQ(got.sr2, want.sr2);
  EXPECT_EQ(got.sr3, want.sr3);
}

// Two segments, two POINTS blocks; comments at the top, between a
// segment's lines, between samples and after the last block; a blank line;
// a carriage return before a line feed; samples six, three, two and one to
// a line; runs of SR2 and SR3 beside SR1 and alone; a leading + sign.
const char* file_2_0 =
    "2.0\n"
    "# written by hand for the reader's test\n"
    "PLANE 2\n"
    "  -118.500000   34.250000     2     1     4.0000     2.0000\n"
    "# between the two lines of a segment\n"
    " 270   45     1.5000    -1.0000     0.5000\n"
    "  -118.520000   34.240000     1     1     2.0000     2.0000\r\n"
    "  90   60     2.0000     0.0000     1.0000\n"
    "POINTS 2\n"
    "  -118.510000   34.250000  1.85355e+00  270   45  2.00000e+10  0.000000e+00  1.00000e-02  3.20000e+05  2.70000e+00\n"
    "  30    1.2000      9     0.5000      2     0.0000      0\n"
    "  0.00000e+00  2.00000e+01  4.00000e+01  3.00000e+01  1.50000e+01  5.00000e+00\n"
    "# between samples\n"
    "  2.50000e+00  1.00000e+00  1.00000e+00\n"
    "  2.50000e+01  2.50000e+01\n"
    "\n"
    "  -118.490000   34.250000  1.85355e+00  270   45  2.00000e+10  1.250000e+00  1.00000e-02  +3.46000e+05  2.80000e+00\n"
    "  30    0.0000      0     0.0000      0    -0.7500      3\n"
    " -5.00000e+01\n"
    " -2.50000e+01\n"
    "  0.00000e+00\n"
    "POINTS 1\n"
    "  -118.520000   34.241000  2.86603e+00   90   60  4.00000e+10  2.500000e+00  2.50000e-02  3.50000e+05  2.90000e+00\n"
    " 180   10.0000      1    20.0000      1    30.0000      1\n"
    "  4.00000e+02  8.00000e+02  1.20000e+03\n"
    "# after the last block\n";

const SrfPlane planes_2_0[] = {
    {-118.5, 34.25, 2, 1, 4.0, 2.0, 270, 45, 1.5, -1.0, 0.5},
    {-118.52, 34.24, 1, 1, 2.0, 2.0, 90, 60, 2.0, 0.0, 1.0},
};

std::vector<SrfPoint> points_2_0() {
  return {
      {.lon = -118.51, .lat = 34.25, .dep = 1.85355, .stk = 270, .dip = 45, .area = 2e10,
       .tinit = 0, .dt = 0.01, .vs = 3.2e5, .den = 2.7, .has_medium = true, .rake = 30,
       .slip1 = 1.2, .slip2 = 0.5, .slip3 = 0,
       .sr1 = {0, 20, 40, 30, 15, 5, 2.5, 1, 1}, .sr2 = {25, 25}, .sr3 = {}, .block = 0, .line = 10},
      {.lon = -118.49, .lat = 34.25, .dep = 1.85355, .stk = 270, .dip = 45, .area = 2e10,
       .tinit = 1.25, .dt = 0.01, .vs = 3.46e5, .den = 2.8, .has_medium = true, .rake = 30,
       .slip1 = 0, .slip2 = 0, .slip3 = -0.75,
       .sr1 = {}, .sr2 = {}, .sr3 = {-50, -25, 0}, .block = 0, .line = 17},
      {.lon = -118.52, .lat = 34.241, .dep = 2.86603, .stk = 90, .dip = 60, .area = 4e10,
       .tinit = 2.5, .dt = 0.025, .vs = 3.5e5, .den = 2.9, .has_medium = true, .rake = 180,
       .slip1 = 10, .slip2 = 20, .slip3 = 30,
       .sr1 = {400}, .sr2 = {800}, .sr3 = {1200}, .block = 1, .line = 23},
  };
}

TEST(SrfRead, A20FileComesBackAsWritten) {
  std::vector<std::string> warnings;
  Kept k = read_text(file_2_0, &warnings);
  EXPECT_EQ(warnings, std::vector<std::string>{});
  EXPECT_EQ(k.head.version, "2.0");
  ASSERT_EQ(k.head.planes.size(), 2u);
  expect_plane(k.head.planes[0], planes_2_0[0], "segment 1");
  expect_plane(k.head.planes[1], planes_2_0[1], "segment 2");
  std::vector<SrfPoint> want = points_2_0();
  ASSERT_EQ(k.points.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) expect_point(k.points[i], want[i]);
  EXPECT_EQ(k.order, (std::vector<std::string>{"header", "block 0 of 2", "point on line 10",
                                               "point on line 17", "block 1 of 1",
                                               "point on line 23"}));
}

// The same points in 1.0: no VS and DEN (0, has_medium false), no comments.
const char* file_1_0 =
    "1.0\n"
    "PLANE 2\n"
    "  -118.500000   34.250000     2     1     4.0000     2.0000\n"
    " 270   45     1.5000    -1.0000     0.5000\n"
    "  -118.520000   34.240000     1     1     2.0000     2.0000\n"
    "  90   60     2.0000     0.0000     1.0000\n"
    "POINTS 2\n"
    "  -118.510000   34.250000  1.85355e+00  270   45  2.00000e+10     0.0000  1.00000e-02\n"
    "  30    1.2000      9     0.5000      2     0.0000      0\n"
    "  0.00000e+00  2.00000e+01  4.00000e+01  3.00000e+01  1.50000e+01  5.00000e+00\n"
    "  2.50000e+00  1.00000e+00  1.00000e+00\n"
    "  2.50000e+01  2.50000e+01\n"
    "  -118.490000   34.250000  1.85355e+00  270   45  2.00000e+10     1.2500  1.00000e-02\n"
    "  30    0.0000      0     0.0000      0    -0.7500      3\n"
    " -5.00000e+01 -2.50000e+01  0.00000e+00\n"
    "POINTS 1\n"
    "  -118.520000   34.241000  2.86603e+00   90   60  4.00000e+10     2.5000  2.50000e-02\n"
    " 180   10.0000      1    20.0000      1    30.0000      1\n"
    "  4.00000e+02  8.00000e+02  1.20000e+03\n";

TEST(SrfRead, A10FileComesBackAsWritten) {
  Kept k = read_text(file_1_0);
  EXPECT_EQ(k.head.version, "1.0");
  ASSERT_EQ(k.head.planes.size(), 2u);
  expect_plane(k.head.planes[0], planes_2_0[0], "segment 1");
  expect_plane(k.head.planes[1], planes_2_0[1], "segment 2");
  std::vector<SrfPoint> want = points_2_0();
  long lines[] = {8, 13, 17};
  for (size_t i = 0; i < want.size(); i++) {
    want[i].vs = want[i].den = 0;
    want[i].has_medium = false;
    want[i].line = lines[i];
  }
  ASSERT_EQ(k.points.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) expect_point(k.points[i], want[i]);
}

// A file of points alone: no PLANE block, an empty block beside a full one.
TEST(SrfRead, PointsWithoutAPlaneAndAnEmptyBlock) {
  Kept k = read_text(
      "1.0\nPOINTS 0\nPOINTS 1\n0 0 0 0 90 1 0 0\n0 0 0 0 0 0 0\n");
  EXPECT_TRUE(k.head.planes.empty());
  EXPECT_EQ(k.order, (std::vector<std::string>{"header", "block 0 of 0", "block 1 of 1",
                                               "point on line 4"}));
}

// A 2.0 file whose points have 8 fields (as gauss2.srf of the shared
// files): read as 1.0 points, with one warning at the first point.
TEST(SrfRead, A20FileWithPointsOf8FieldsIsReadWithAWarning) {
  std::vector<std::string> warnings;
  TempDir dir;
  dir.write("f.srf", "2.0\nPOINTS 2\n1 2 3 4 5 6 7 0.5\n8 9 1 10 0 0 0\n2\n"
                     "1 2 3 4 5 6 7 0.5\n8 9 0 10 0 0 0\n");
  Kept k;
  read_srf(dir.file("f.srf"), k, &warnings);
  EXPECT_EQ(warnings, std::vector<std::string>{
                          dir.file("f.srf") +
                          ":3: warning: a version 2.0 point with 8 fields (no VS, DEN): its points "
                          "are read as version 1.0 points, VS and DEN unknown"});
  ASSERT_EQ(k.points.size(), 2u);
  for (const SrfPoint& p : k.points) {
    EXPECT_FALSE(p.has_medium);
    EXPECT_EQ(p.vs, 0);
    EXPECT_EQ(p.den, 0);
    EXPECT_EQ(p.dt, 0.5);
  }
  // Without a place for them, the warnings are dropped and the file is read.
  Kept quiet;
  read_srf(dir.file("f.srf"), quiet);
  EXPECT_EQ(quiet.points.size(), 2u);
}

// The refusal reaches a caller of the library as a Refusal with status 2.
TEST(SrfRead, AMalformedFileThrowsARefusal) {
  TempDir dir;
  dir.write("f.srf", "2.0\nPOINTS 1\n");
  Kept k;
  try {
    read_srf(dir.file("f.srf"), k);
    FAIL() << "read";
  } catch (const Refusal& r) {
    EXPECT_EQ(std::string(r.what()),
              dir.file("f.srf") + ":2: the file ends after 0 of the 1 points that POINTS on line 2 declares");
    EXPECT_EQ(r.status, 2);
  }
}

}  // namespace
