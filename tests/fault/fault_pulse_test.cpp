// A subfault's samples are the program's: the SRF's slip rates of every
// subfault against the velocity column of slip_t.csv of a direct run of
// slipvel with the same four answers, and the reader finding every value
// of the SRF that the tool wrote.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <sstream>

#include "support/tool_support.h"
#include "fault/subfault_pulse.h"
#include "pulse/pulse_times.h"
#include "pulse/vslip.h"
#include "srf/srf_file.h"

namespace {

// The rows of the subfault CSV, split at commas.
std::vector<std::vector<std::string>> csv_rows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : file_lines(path)) {
    std::vector<std::string> f;
    std::stringstream in(line);
    for (std::string x; std::getline(in, x, ',');) f.push_back(x);
    rows.push_back(f);
  }
  rows.erase(rows.begin());  // the header
  return rows;
}

// The velocity column of slip_t.csv of a direct run with these answers.
std::vector<double> direct_velocities(const std::string& answers) {
  TempDir dir;
  RunResult r = run_slipvel(dir.path, answers);
  EXPECT_TRUE(r.exited && r.code == 0) << r.err;
  std::vector<double> v;
  std::vector<std::string> lines = file_lines(dir.file("slip_t.csv"));
  for (size_t k = 1; k < lines.size(); k++) {
    std::stringstream in(lines[k]);
    std::string t, d, vel;
    std::getline(in, t, ','), std::getline(in, d, ','), std::getline(in, vel, ',');
    v.push_back(std::stod(vel));
  }
  return v;
}

// Every subfault of the small fault (four kinds of answers and the example's)
// and of the example fault: SR1 / 100 is the velocity of slip_t.csv to the
// rounding of the two printed forms (5 decimals there, 6 digits here), the
// samples end at the first zero after the pulse, and DT * sum(SR1) = SLIP1.
TEST(FaultPulse, SamplesAreTheProgramsRowForRow) {
  for (const char* description : {"small", "example"}) {
    SCOPED_TRACE(description);
    TempDir dir;
    if (std::string(description) == "small") {
      dir.write("f.toml", fault_data("small.toml"));
      dir.write("small_table.csv", fault_data("small_table.csv"));
    } else {
      dir.write("f.toml", read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/fault.toml"));
    }
    Ended r = run_fault(dir.path, {"--csv", "f.csv", "f.toml"});
    ASSERT_EQ(r.code, 0) << r.err;
    SrfPoints srf = read_points(dir.file("f.srf"));
    auto rows = csv_rows(dir.file("f.csv"));
    ASSERT_EQ(srf.points.size(), rows.size());
    std::map<std::string, std::vector<double>> direct;  // by the four answers
    for (size_t n = 0; n < rows.size(); n++) {
      const SrfPoint& p = srf.points[n];
      std::string answers = rows[n][8] + "\n" + rows[n][9] + "\n" + rows[n][10] + "\n" + rows[n][11] + "\n";
      if (!direct.count(answers)) direct[answers] = direct_velocities(answers);
      const std::vector<double>& v = direct[answers];
      ASSERT_EQ(v.size(), 1001u);
      size_t nt1 = p.sr1.size();
      ASSERT_GT(nt1, 1u);
      for (size_t k = 0; k < v.size(); k++) {
        double sr = k < nt1 ? p.sr1[k] / 100 : 0;
        EXPECT_NEAR(sr, v[k], 0.5e-5 + 0.5e-5 * std::fabs(v[k]) + 1e-12) << "point " << n << " sample " << k + 1;
      }
      EXPECT_EQ(p.sr1[nt1 - 1], 0) << "the samples end at the first zero";
      EXPECT_NE(p.sr1[nt1 - 2], 0) << "no trailing zeros";
      double sum = 0;
      for (double x : p.sr1) sum += x;
      EXPECT_LE(std::fabs(p.dt * sum - p.slip1) / p.slip1, 1e-5) << "point " << n;
    }
    EXPECT_GE(direct.size(), std::string(description) == "small" ? 5u : 3u);
  }
}

// A pulse longer than the program's 10 s (ts = 12 s) runs to its end on a
// longer grid: its first 1001 samples are those of slip_t.csv of a direct
// run, it ends at the first zero after 12 s, and DT * sum(SR1) = SLIP1; a
// subfault without slip has no samples.
TEST(FaultPulse, PulseLongerThanTheProgramsGridAndNoSlip) {
  TempDir dir;
  std::string text = fault_data("small.toml");
  text = text.substr(0, text.find("[subfaults]"));
  dir.write("f.toml", text + "[subfaults]\ntable = \"t.csv\"\n");
  dir.write("t.csv", "i,j,fmax,slip,vm,ts\n1,1,6,4.65,4.32,12\n2,1,6,0,1,2\n");
  Ended r = run_fault(dir.path, {"f.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(", 11 with slip\n"), std::string::npos) << r.out;
  SrfPoints srf = read_points(dir.file("f.srf"));
  ASSERT_EQ(srf.points.size(), 12u);
  const SrfPoint& p = srf.points[0];
  size_t nt1 = p.sr1.size();
  ASSERT_GT(nt1, 1200u);
  EXPECT_GE(static_cast<double>(nt1 - 1) * 0.01, 12 - 1e-9) << "the last sample lies past ts";
  EXPECT_EQ(p.sr1[nt1 - 1], 0) << "the samples end at the first zero";
  EXPECT_NE(p.sr1[nt1 - 2], 0) << "no trailing zeros";
  std::vector<double> v = direct_velocities("6\n4.65\n4.32\n12\n");
  ASSERT_EQ(v.size(), 1001u);
  for (size_t k = 0; k < v.size(); k++)
    EXPECT_NEAR(p.sr1[k] / 100, v[k], 0.5e-5 + 0.5e-5 * std::fabs(v[k]) + 1e-12) << "sample " << k + 1;
  double sum = 0;
  for (double x : p.sr1) sum += x;
  EXPECT_LE(std::fabs(p.dt * sum - p.slip1) / p.slip1, 1e-5);
  EXPECT_NEAR(p.slip1, 465, 0.05) << "the whole slip, none cut";
  EXPECT_TRUE(srf.points[1].sr1.empty());
  EXPECT_EQ(srf.points[1].slip1, 0);
}

// The longer grid begins with the program's own grid and samples, bit for
// bit: each sample depends on its own time alone.
TEST(FaultPulse, ALongerGridBeginsWithTheProgramsSamplesBitForBit) {
  const Answers a{6, 4.65f, 4.32f, 12};
  Samples tm, rate;
  fill_time_grid(tm, nt_grid);
  SlipSearch s = vslip(tm, rate, nt_grid, a.slip, peak_time(a.fmax), a.vm, decay_end(a.ts), a.ts);
  ASSERT_TRUE(s.converged);
  PulseGrid grid(a.ts);
  SubfaultPulse pulse;
  compute_pulse(grid, a, 1, 1, pulse);
  ASSERT_EQ(grid.samples(), 1203);
  for (int k = 0; k < nt_grid; k++) {
    ASSERT_EQ(std::bit_cast<uint32_t>(grid.tm[k]), std::bit_cast<uint32_t>(tm.v[k])) << k;
    ASSERT_EQ(std::bit_cast<uint32_t>(pulse.rate[k]), std::bit_cast<uint32_t>(rate.v[k])) << k;
  }
  // The longest pulse of all: 60 s in 6003 samples.
  EXPECT_EQ(PulseGrid(60).samples(), 6003);
  EXPECT_EQ(PulseGrid(2.8f).samples(), nt_grid);
}

// The reader gives back every value that the tool wrote: the plane, and per
// point the fields that the subfault CSV holds to more digits.
TEST(FaultPulse, ReaderGivesBackEveryValueOfTheToolsSrf) {
  for (const char* version : {"2.0", "1.0"}) {
    SCOPED_TRACE(version);
    TempDir dir;
    dir.write("small.toml", fault_data("small.toml"));
    dir.write("small_table.csv", fault_data("small_table.csv"));
    Ended r = run_fault(dir.path, {"--srf-version", version, "--csv", "f.csv", "small.toml"});
    ASSERT_EQ(r.code, 0) << r.err;
    SrfPoints srf = read_points(dir.file("small.srf"));
    EXPECT_EQ(srf.head.version, version);
    ASSERT_EQ(srf.head.planes.size(), 1u);
    const SrfPlane& pl = srf.head.planes[0];
    EXPECT_EQ(pl.elon, 138.25);
    EXPECT_EQ(pl.elat, 36.5);
    EXPECT_EQ(pl.nstk, 4);
    EXPECT_EQ(pl.ndip, 3);
    EXPECT_EQ(pl.len, 8);
    EXPECT_EQ(pl.wid, 6);
    EXPECT_EQ(pl.stk, 30);
    EXPECT_EQ(pl.dip, 60);
    EXPECT_EQ(pl.dtop, 2);
    EXPECT_EQ(pl.shyp, -1);
    EXPECT_EQ(pl.dhyp, 3);
    auto rows = csv_rows(dir.file("f.csv"));
    ASSERT_EQ(srf.points.size(), 12u);
    for (size_t n = 0; n < rows.size(); n++) {
      const SrfPoint& p = srf.points[n];
      EXPECT_NEAR(p.lon, std::stod(rows[n][4]), 5e-7);
      EXPECT_NEAR(p.lat, std::stod(rows[n][5]), 5e-7);
      EXPECT_NEAR(p.dep, std::stod(rows[n][6]), 5e-5);
      EXPECT_NEAR(p.tinit, std::stod(rows[n][7]), 5e-5);
      EXPECT_EQ(p.stk, 30);
      EXPECT_EQ(p.dip, 60);
      EXPECT_EQ(p.rake, 90);
      EXPECT_EQ(p.area, 4e10);
      EXPECT_EQ(p.dt, 0.01);
      EXPECT_EQ(p.has_medium, std::string(version) == "2.0");
      if (p.has_medium) {
        EXPECT_EQ(p.vs, 3.2e5);
        EXPECT_EQ(p.den, 2.6);
      }
      EXPECT_EQ(p.slip1, std::stod(rows[n][16]));
      EXPECT_EQ(p.sr1.size(), std::stoul(rows[n][14]));
      EXPECT_TRUE(p.sr2.empty() && p.sr3.empty());
      EXPECT_EQ(p.slip2, 0);
      EXPECT_EQ(p.slip3, 0);
    }
  }
}

}  // namespace
