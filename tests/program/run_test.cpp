// The built program end to end: the example run byte for byte, the
// dialogue, the picked samples of unusual answers, and the early ends.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <vector>

#include "support/failure_support.h"
#include "support/run_program.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) v.push_back(l);
  return v;
}

// Field k (from 0) of a comma-separated row, blanks kept.
std::string field(const std::string& row, int k) {
  std::vector<std::string> f;
  std::istringstream s(row);
  for (std::string x; std::getline(s, x, ',');) f.push_back(x);
  return f.at(k);
}

// The example answers: the whole standard output and all four files are
// pinned byte for byte; nothing on standard error, status 0.
TEST(ExampleRun, FilesAndConsoleByteForByte) {
  TempDir dir;
  RunResult r = run_slipvel(dir.path, example_answers);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, golden("stdout.txt"));
  for (const char* f : output_files)
    EXPECT_TRUE(dir.read(f) == golden(f)) << f << " differs from tests/golden/" << f;
}

// The stored files are themselves checked against the worked values, so
// they cannot drift unnoticed.
TEST(ExampleRun, ConsoleRecords) {
  auto out = lines(golden("stdout.txt"));
  const std::vector<std::string> dialogue = {
      "",
      " Enter fmax (Hz) [ex:6 (Hz)]",
      "",
      " fmax,td =   6. (Hz)  0.0530516468 (s)",
      "",
      " Enter slip (m) [ex:4.65 (m)]",
      "",
      " Enter vm (m/s) [ex:4.32 (m/s)]",
      "",
      " slip, vm =   4.6500001 (m)  4.32000017 (m/s)",
      "",
      " Enter ts [ex:2.8 (s)]",
      "",
      " ts, tr =   2.79999995 (s)  1.86666667 (s)",
  };
  ASSERT_EQ(out.size(), 14u + 2512u);
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 14), dialogue);
  EXPECT_EQ(out[14], " i,om=  1  0.100000001");
  EXPECT_EQ(out[18], " i,om=  5  0.5");
  EXPECT_EQ(out.back(), " i,om=  2512  251.199997");
}

TEST(ExampleRun, TimeHistories) {
  auto rows = lines(golden("slip_t.csv"));
  ASSERT_EQ(rows.size(), 1002u);
  EXPECT_EQ(rows[0], " time (s),slip_t (dis),slip_t (vel),slip_t (acc)");
  EXPECT_EQ(rows[1], "    0.00,        0.00000,        0.00000,        0.00000,");
  EXPECT_EQ(rows[2], "    0.01,        0.00738,        1.47511,      147.51096,");
  EXPECT_EQ(rows[6], "    0.05,        0.13834,        4.30571,       24.71728,");
  EXPECT_EQ(rows[7], "    0.06,        0.18121,        4.26721,       -3.85003,");
  EXPECT_EQ(rows[1001], "   10.00,        4.64759,        0.00000,        0.00000,");
}

TEST(ExampleRun, Spectra) {
  auto rows = lines(golden("slip_a.csv"));
  ASSERT_EQ(rows.size(), 2513u);
  EXPECT_EQ(rows[0], " freq (Hz),slip_a (dis),slip_a (vel),slip_a (acc)");
  EXPECT_EQ(rows[1], "  0.0159,    0.46361E+02,    0.46361E+01,    0.46361E+00,");
  EXPECT_EQ(rows[2], "  0.0318,    0.23009E+02,    0.46019E+01,    0.92037E+00,");
  EXPECT_EQ(rows[3], "  0.0477,    0.15151E+02,    0.45452E+01,    0.13635E+01,");
  EXPECT_EQ(field(rows[2512], 0), " 39.9797");
}

TEST(ExampleRun, Triangles) {
  auto rows = lines(golden("slip_vel-5triangle.csv"));
  ASSERT_EQ(rows.size(), 1002u);
  EXPECT_EQ(rows[0], " time (s),slip_t (vel),tri_1,tri_2,tri_3,tri_4,tri_5,sum_tri");
  for (size_t i = 1; i < rows.size(); i++) ASSERT_EQ(rows[i].size(), 121u) << i;
  std::string zeros;
  for (int k = 0; k < 7; k++) zeros += "        0.00000,";
  EXPECT_EQ(rows[1], "    0.00," + zeros);  // sample 1: no triangle evaluated
  EXPECT_EQ(rows[6],
            "    0.05,        4.30571,        0.03734,        0.06524,        0.16596,"
            "        0.42220,        3.62925,        4.32000,");
  EXPECT_EQ(rows[188],
            "    1.87,        1.39658,        1.39658,        0.00000,        0.00000,"
            "        0.00000,        0.00000,        1.39658,");
}

TEST(ExampleRun, ParameterSummary) {
  const std::string expected =
      " td (s),Vm (m/s),tr (s),ts (s),slip (m),td2 (s)              ,V_td (m/s),tr2 (s),"
      "V_tr (m/s),ts2 (s),V_ts (m/s)\n"
      "0.053,4.320,1.867,2.800,4.650,0.050,4.320,1.870,1.397,2.800,0.000,\n"
      "\n"
      " Number of Time Windows,Interval Time (s)\n"
      " 5,0\n"
      " Time Window Number,1st Half Rise Time (s)     ,2nd Half Rise Time (s),"
      "Ratio of Triangle area\n"
      " 1,  1.87,  0.929999948,  0.41697678\n"
      " 2,  0.930000007,  0.939999998,  0.241972402\n"
      " 3,  0.469999999,  0.460000008,  0.154707834\n"
      " 4,  0.230000004,  0.239999995,  0.0973341614\n"
      " 5,  0.0500000007,  0.180000007,  0.0890087634\n";
  EXPECT_EQ(golden("parameter.csv"), expected);
}

// Unusual answers: which grid samples the characteristic times pick, as
// the parameter row and the window table show them.
TEST(Picks, CharacteristicSamples) {
  const struct {
    const char* answers;
    const char* param_row;
    int window;               // a window record to look at (1..5)
    const char* window_record;
  } rows[] = {
      // tr = 1: tr/2 and tr/4 on the grid, tr/8 = 0.125 nearer to 0.13.
      {"6\n3\n4.32\n1.5\n", "0.053,4.320,1.000,1.500,3.000,0.050,4.320,1.000,1.789,1.500,0.000,", 4,
       " 4,  0.129999995,  0.120000005,  0.0890428498"},
      // ts beyond the grid: the last sample; tr = 8.
      {"6\n4.65\n4.32\n12\n", "0.053,4.320,8.000,*****,4.650,0.050,4.320,8.000,0.263,*****,0.131,", 1,
       " 1,  8.,  2.,  0.234842896"},
      // td = 0.0075: the second sample.
      {"42.4\n4.65\n4.32\n2.8\n", "0.008,4.320,1.867,2.800,4.650,0.010,4.320,1.870,0.000,2.800,0.000,", 5,
       " 5,  0.00999999978,  0.219999999, -0.00037095655"},
      // td = 0.00497, nearer to 0 than to 0.01: no row passes, sample 1 stays.
      {"64\n4.65\n4.32\n2.8\n", "0.005,4.320,1.867,2.800,4.650,0.000,4.320,1.870,0.000,2.800,0.000,", 5,
       " 5,  0.,  0.230000004, -4.13401722E-06"},
      // td2 after tr2_4: window 5 has a negative second half.
      {"1\n4.65\n4.32\n2.8\n", "0.318,4.320,1.867,2.800,4.650,0.320,4.320,1.870,1.239,2.800,0.000,", 5,
       " 5,  0.319999993, -0.0899999887, -0.0302700456"},
      // tr/8 halfway between the first two samples: sample 1; zero total area.
      {"6\n4.65\n4.32\n0.06\n", "0.053,4.320,0.040,0.060,4.650,0.050,4.320,0.040,4.059,0.060,0.000,", 4,
       " 4,  0.,  0.00999999978,  NAN"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    RunResult r = run_slipvel(dir.path, row.answers);
    ASSERT_TRUE(r.exited && r.code == 0) << row.answers << r.err;
    auto p = lines(dir.read("parameter.csv"));
    ASSERT_EQ(p.size(), 11u);
    EXPECT_EQ(p[1], row.param_row) << row.answers;
    EXPECT_EQ(p[5 + row.window], row.window_record) << row.answers;
  }
}

// With td2 at or after tr2_4, triangle 5 rises to its peak and is zero at
// every later sample: no falling edge.
TEST(Picks, TriangleWithoutFallingEdge) {
  TempDir dir;
  ASSERT_EQ(run_slipvel(dir.path, "1\n4.65\n4.32\n2.8\n").code, 0);
  auto rows = lines(dir.read("slip_vel-5triangle.csv"));
  EXPECT_NE(field(rows[33], 6), "        0.00000");  // t = 0.32, the peak
  for (int i = 34; i <= 1001; i++) ASSERT_EQ(field(rows[i], 6), "        0.00000") << i;
}

// Answers the reader accepts in other shapes: CR LF line ends, blank lines,
// trailing text, null values that leave a parameter at 0.
TEST(Dialogue, AnswerShapes) {
  TempDir a, b;
  RunResult r = run_slipvel(a.path, "\r\n 6 (Hz)\r\n4.65,7\r\n\n4.32 m/s\r\n2.8");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, golden("stdout.txt"));
  // A comma alone leaves fmax at 0: td is infinite and the search stops.
  r = run_slipvel(b.path, ",\n4.65\n4.32\n2.8\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find(" fmax,td =   0. (Hz)  INF (s)"), std::string::npos);
}

// Searches that could not end: no file, one line, status 2, promptly.
TEST(Dialogue, SearchThatCannotEnd) {
  const struct {
    const char* answers;
    const char* message;
  } rows[] = {
      {"0\n4.65\n4.32\n2.8\n", "slip-velocity search does not converge for td =   INF\n"},
      {"-6\n4.65\n4.32\n2.8\n", "slip-velocity search does not converge for td =  -0.0530516468\n"},
      {"1e7\n4.65\n4.32\n2.8\n", "slip-velocity search does not converge for td =   3.18309894E-08\n"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    dir.write("slip_t.csv", "an earlier run\n");
    RunOptions opt;
    opt.input = row.answers;
    opt.timeout_s = 60;
    RunResult r = run_slipvel(dir.path, opt);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, row.message);
    EXPECT_EQ(count_lines(r.out), 14);
    EXPECT_EQ(dir.read("slip_t.csv"), "an earlier run\n");
    EXPECT_FALSE(dir.exists("slip_a.csv"));
  }
}

// Answers of extreme magnitude: the pulse scales with slip and vm, so the
// spectra at the lowest frequencies carry the slip in the same digits at
// any scale. The boundary search compares the signs of two residuals of
// the size of the slip by their product in double: as a product of two
// floats it underflows to 0 near 1e-23, the search stops early and the
// spectra carry 1.75 times the slip.
TEST(ExtremeMagnitudes, SpectraCarryTheSlip) {
  const struct {
    const char* answers;
    bool complete;  // 1e20 m overflows the fields of slip_t.csv, whose
                    // read-back then fails on asterisks
    const char* row1;
    const char* row2;
  } rows[] = {
      {"6\n1e-23\n1e-23\n2.8\n", true,
       "  0.0159,    0.99678E-22,    0.99678E-23,    0.99678E-24,",
       "  0.0318,    0.49470E-22,    0.98940E-23,    0.19788E-23,"},
      {"6\n1e20\n1e20\n2.8\n", false,
       "  0.0159,    0.99678E+21,    0.99678E+20,    0.99678E+19,",
       "  0.0318,    0.49470E+21,    0.98940E+20,    0.19788E+20,"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answers);
    TempDir dir;
    RunResult r = run_slipvel(dir.path, row.answers);
    EXPECT_EQ(r.exited, row.complete);
    EXPECT_EQ(r.code, row.complete ? 0 : SIGABRT);
    std::vector<std::string> slip_a = lines(dir.read("slip_a.csv"));
    ASSERT_EQ(slip_a.size(), 2513u);
    EXPECT_EQ(slip_a[1], row.row1);
    EXPECT_EQ(slip_a[2], row.row2);
  }
}

}  // namespace
