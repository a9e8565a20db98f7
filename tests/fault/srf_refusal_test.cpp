// slipvel-fault info on malformed SRF files: each is refused with one line
// naming the file, the line and what is wrong, exit status 2, nothing on
// standard output.
#include <gtest/gtest.h>

#include <string>

#include "support/batch_support.h"

namespace {

// A valid 1.0 file: PLANE (lines 2-4), POINTS (5), one point (6-8).
const std::string v1_head = "1.0\nPLANE 1\n -121.8411 37.0789 2 1 4.0 2.0\n 128 70 3.85 0.25 1.0\n";
const std::string v1_point =
    "-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680 2.50000e-02\n"
    "147 1.35 3 0.00 0 0.00 0\n"
    "0.00000e+00 2.95887e+01 8.35953e+00\n";
// The same point in 2.0, with VS and DEN.
const std::string v2_head = "2.0\nPLANE 1\n -121.8411 37.0789 2 1 4.0 2.0\n 128 70 3.85 0.25 1.0\n";
const std::string v2_point =
    "-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680 2.50000e-02 3.0e5 2.7\n"
    "147 1.35 3 0.00 0 0.00 0\n"
    "0.00000e+00 2.95887e+01 8.35953e+00\n";

struct Bad {
  const char* why;
  std::string text;
  std::string message;  // after "slipvel-fault: PATH:"
};

const Bad bad_files[] = {
    {"nothing at all", "", "1: the file is empty (no version line)"},
    {"a version this reader does not know", "3.0\nPOINTS 0\n",
     "1: \"3.0\" is not a version line (1.0 or 2.0)"},
    {"the version line carries more", "2.0 PLANE 1\n",
     "1: \"2.0 PLANE 1\" is not a version line (1.0 or 2.0)"},
    {"a byte-order mark is not part of the version",
     "\xEF\xBB\xBF" "1.0\n", "1: \"\\xEF\\xBB\\xBF1.0\" is not a version line (1.0 or 2.0)"},
    {"comment lines belong to 2.0 only", "1.0\n# made by hand\nPOINTS 0\n",
     "2: a comment line, which version 1.0 does not allow"},
    {"PLANE without its count", "1.0\nPLANE\n", "2: 1 field, 2 expected (PLANE NSEG)"},
    {"a plane of no segments", "1.0\nPLANE 0\nPOINTS 0\n", "2: NSEG \"0\" is less than 1"},
    {"a segment line short of a field", "1.0\nPLANE 1\n -121.8 37.0 2 1 4.0\n",
     "3: 5 fields, 6 expected (ELON ELAT NSTK NDIP LEN WID)"},
    {"a count of subfaults that is not whole", "1.0\nPLANE 1\n -121.8 37.0 2.5 1 4.0 2.0\n",
     "3: NSTK \"2.5\" is not a whole number"},
    {"PLANE declares more segments than follow", "1.0\nPLANE 2\n -121.8 37.0 2 1 4 2\n 128 70 3 0 1\n",
     "4: the file ends before the first line of segment 2 of the PLANE on line 2"},
    {"a misspelt block keyword", v1_head + "POINT 1\n", "5: expected POINTS, found \"POINT\""},
    {"neither PLANE nor POINTS after the version", "2.0\n1 2 3\n",
     "2: expected PLANE or POINTS, found \"1\""},
    {"a header with no points at all", v1_head, "4: the file ends before its first POINTS block"},
    {"a negative point count", v1_head + "POINTS -1\n", "5: NP \"-1\" is negative"},
    {"a point line short of a field",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680\n",
     "6: 7 fields, 8 expected (LON LAT DEP STK DIP AREA TINIT DT)"},
    {"VS and DEN in a 1.0 file",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680 0.025 3e5 2.7\n",
     "6: 10 fields, 8 expected (LON LAT DEP STK DIP AREA TINIT DT)"},
    {"a 2.0 point line short of DEN",
     v2_head + "POINTS 1\n-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680 0.025 3e5\n",
     "6: 9 fields, 10 expected (LON LAT DEP STK DIP AREA TINIT DT VS DEN)"},
    {"the first point of a 2.0 file decides: later ones keep its fields",
     v2_head + "POINTS 2\n" + v2_point +
         "-122.0182 37.1887 3.9283 128 70 2.77889e+08 10.8680 2.50000e-02\n",
     "9: 8 fields, 10 expected (LON LAT DEP STK DIP AREA TINIT DT VS DEN)"},
    {"a field that is not a number",
     v1_head + "POINTS 1\n-122.0182 37.18x 3.9283 128 70 2.77889e+08 10.8680 0.025\n",
     "6: LAT \"37.18x\" is not a number"},
    {"bytes that are no text are shown, not printed",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9283 128 70 2.7\x01\xff 10.8680 0.025\n",
     "6: AREA \"2.7\\x01\\xFF\" is not a number"},
    {"a value that is not finite",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9283 128 70 2.77889e+08 nan 0.025\n",
     "6: TINIT \"nan\" is not finite"},
    {"a value beyond a double",
     v1_head + "POINTS 1\n-122.0182 37.1887 1e400 128 70 2.77889e+08 10.8680 0.025\n",
     "6: DEP \"1e400\" is out of range"},
    {"two signs", v1_head + "POINTS 1\n+-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n",
     "6: LON \"+-122.0182\" is not a number"},
    {"a negative area", v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 -2.77889e+08 10.8680 0.025\n",
     "6: AREA \"-2.77889e+08\" is negative"},
    {"a negative time step", v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 -0.025\n",
     "6: DT \"-0.025\" is negative"},
    {"a negative shear-wave velocity",
     v2_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025 -3e5 2.7\n",
     "6: VS \"-3e5\" is negative"},
    {"samples with no time step",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0\n147 1.35 3 0 0 0 0\n",
     "7: samples with DT = 0 (line 6)"},
    {"a slip line with an extra field",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 3 0 0 0 0 0\n",
     "7: 8 fields, 7 expected (RAKE SLIP1 NT1 SLIP2 NT2 SLIP3 NT3)"},
    {"a negative sample count",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 -3 0 0 0 0\n",
     "7: NT1 \"-3\" is negative"},
    {"a sample count that is not whole",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 3 0 3.0 0 0\n",
     "7: NT2 \"3.0\" is not a whole number"},
    {"a sample count no memory holds",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 3 0 0 0 3000000000\n",
     "7: NT3 \"3000000000\" is more than 2147483647"},
    {"a sample that is not a number",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 3 0 0 0 0\n"
               "0.0 2.9e+0l 8.3\n",
     "8: SR1 sample 2 \"2.9e+0l\" is not a number"},
    {"a sample of the third run, counted within its run",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 1 0 1 0 2\n"
               "1 2\n3 inf\n",
     "9: SR3 sample 2 \"inf\" is not finite"},
    {"more samples on the last line than NT1 declares",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 3 0 0 0 0\n"
               "0.0 2.9 8.3 1.0\n",
     "8: \"1.0\" after the last of the 3 samples of the point on line 6"},
    {"a file cut short inside the samples",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n147 1.35 5 0 0 0 0\n"
               "0.0 2.9 8.3\n",
     "8: the file ends before the end of the samples of the point on line 6 (3 of 5)"},
    {"a file cut short inside a point",
     v1_head + "POINTS 1\n-122.0182 37.1887 3.9 128 70 2.77889e+08 10.8680 0.025\n",
     "6: the file ends before the RAKE SLIP1 NT1 SLIP2 NT2 SLIP3 NT3 line of the point on line 6"},
    {"fewer points than POINTS declares, at the end", v1_head + "POINTS 2\n" + v1_point,
     "8: the file ends after 1 of the 2 points that POINTS on line 5 declares"},
    {"fewer points than POINTS declares, before the next block",
     v1_head + "POINTS 2\n" + v1_point + "POINTS 1\n" + v1_point,
     "9: POINTS after 1 of the 2 points that POINTS on line 5 declares"},
    {"more points than POINTS declares", v1_head + "POINTS 1\n" + v1_point + v1_point,
     "9: more points than the 1 that POINTS on line 5 declares"},
    {"text after the last block", v1_head + "POINTS 1\n" + v1_point + "END\n",
     "9: expected POINTS or the end of the file, found \"END\""},
};

TEST(SrfRefusal, EachMalformedFileIsRefusedWithItsLine) {
  TempDir scratch;
  std::string path = scratch.file("bad.srf");
  for (const Bad& b : bad_files) {
    scratch.write("bad.srf", b.text);
    Ended r = run_command({SLIPVEL_FAULT_BIN, "info", path}, {}, scratch);
    EXPECT_EQ(r.err, "slipvel-fault: " + path + ":" + b.message + "\n") << b.why;
    EXPECT_EQ(r.code, 2) << b.why;
    EXPECT_EQ(r.out, "") << b.why;
  }
}

// The valid files the table starts from are read, so that each refusal
// above comes from its one change.
TEST(SrfRefusal, TheFilesTheTableStartsFromAreRead) {
  TempDir scratch;
  for (const std::string& text : {v1_head + "POINTS 1\n" + v1_point, v2_head + "POINTS 1\n" + v2_point}) {
    scratch.write("good.srf", text);
    Ended r = run_command({SLIPVEL_FAULT_BIN, "info", scratch.file("good.srf")}, {}, scratch);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
