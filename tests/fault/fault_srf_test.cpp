// The SRF that a fault run writes: byte for byte against the golden files,
// the same bytes for every number of threads, its summary, and its moment
// against a hand computation.
#include <gtest/gtest.h>

#include <cmath>

#include "support/tool_support.h"

namespace {

// A fresh folder holding the small fault's description and table.
struct SmallFault {
  TempDir dir;
  SmallFault() {
    dir.write("small.toml", fault_data("small.toml"));
    dir.write("small_table.csv", fault_data("small_table.csv"));
  }
};

// Four kinds of subfault (plane, first area, the second area over the
// first, the table row) in both versions, and the subfault CSV.
TEST(FaultSrf, SmallFaultByteForByte) {
  SmallFault f;
  Ended r2 = run_fault(f.dir.path, {"--csv", "small.csv", "small.toml"});
  ASSERT_EQ(r2.code, 0) << r2.err;
  EXPECT_EQ(r2.err, "");
  EXPECT_EQ(f.dir.read("small.srf"), fault_golden("small-2.0.srf"));
  EXPECT_EQ(f.dir.read("small.csv"), fault_golden("small.csv"));
  EXPECT_EQ(r2.out,
            "subfaults: 12 (4 along strike x 3 down dip, 2 x 2 km), 12 with slip\n"
            "area: 48 km^2\n"
            "moment: 1.943893e+18 N m, Mw 6.1258\n"
            "slip: mean 152.1100 cm, largest 464.7589 cm\n"
            "rupture duration: 4.60 s (the front reaches the last subfault at 1.79 s)\n"
            "written: small.srf (32608 bytes)\n"
            "written: small.csv (1599 bytes)\n");
  Ended r1 = run_fault(f.dir.path, {"--srf-version", "1.0", "-o", "small-1.0.srf", "small.toml"});
  ASSERT_EQ(r1.code, 0) << r1.err;
  EXPECT_EQ(f.dir.read("small-1.0.srf"), fault_golden("small-1.0.srf"));
}

// The batch table gives every subfault's answers so that slipvel-batch runs
// each as the program would: the texts read back as the same floats.
TEST(FaultSrf, BatchTableOfTheSubfaults) {
  SmallFault f;
  Ended r = run_fault(f.dir.path, {"--table", "rows.csv", "small.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> rows = file_lines(f.dir.file("rows.csv"));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0], "id,fmax,slip,vm,ts");
  EXPECT_EQ(rows[1], "s1_1,6,1.2,1.5,2.4");    // first area
  EXPECT_EQ(rows[6], "s2_2,6,2,2.5,2.4");      // second area over the first: its slip and vm, the first's ts
  EXPECT_EQ(rows[4], "s4_1,6,0.5,0.8,1.5");    // the plane's answers
  EXPECT_EQ(rows[12], "s4_3,6,4.65,4.32,2.8"); // the table row
}

// The batch tool runs the table as it stands: the example subfault's folder
// holds the program's own files of the example answers.
TEST(FaultSrf, BatchToolRunsTheTable) {
  SmallFault f;
  Ended r = run_fault(f.dir.path, {"--table", "rows.csv", "small.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  TempDir scratch;
  Ended batch = run_command({batch_tool(), "-j", "2", f.dir.file("rows.csv"), f.dir.file("runs")}, {}, scratch);
  ASSERT_EQ(batch.code, 0) << batch.err;
  EXPECT_EQ(f.dir.read("runs/s4_3/slip_t.csv"), golden("slip_t.csv"));
  EXPECT_EQ(f.dir.read("runs/s4_3/parameter.csv"), golden("parameter.csv"));
  EXPECT_EQ(file_lines(f.dir.file("runs/summary.csv")).size(), 13u);
}

// A fault larger than one chunk of subfaults, with areas: the bytes do not
// depend on how many threads computed them.
TEST(FaultSrf, SameBytesForEveryNumberOfThreads) {
  TempDir dir;
  std::string text = fault_data("small.toml");
  auto set = [&](const std::string& from, const std::string& to) { text.replace(text.find(from), from.size(), to); };
  set("DLEN = 2.0", "DLEN = 0.2");
  set("DWID = 2.0", "DWID = 0.1");  // 40 x 60 = 2400 subfaults: three chunks
  set("table = \"small_table.csv\"", "table = \"rows.csv\"");
  dir.write("big.toml", text);
  dir.write("rows.csv", "i,j,fmax,slip,vm,ts\n40,60,6,4.65,4.32,2.8\n17,1,12,0.3,0.7,1.2\n");
  std::string first;
  for (const char* jobs : {"1", "2", "3", "7"}) {
    SCOPED_TRACE(jobs);
    Ended r = run_fault(dir.path, {"-j", jobs, "-o", std::string("j") + jobs + ".srf", "--csv",
                                   std::string("j") + jobs + ".csv", "big.toml"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string srf = dir.read(std::string("j") + jobs + ".srf") + dir.read(std::string("j") + jobs + ".csv");
    if (first.empty()) first = srf;
    EXPECT_TRUE(srf == first);
  }
  EXPECT_GT(first.size(), 2400u * 300);
}

// M0 = mu * area * slip summed by hand for a uniform plane of the example
// answers (every SLIP1 464.7589 cm), and Mw = 2/3 (log10 M0 - 9.1).
TEST(FaultSrf, MomentAndMagnitudeByHand) {
  TempDir dir;
  std::string text = fault_data("small.toml");
  text = text.substr(0, text.find("# Subfaults (1, 1)"));
  const std::string plane_pulse = "slip = 0.5\nvm = 0.8\nts = 1.5";
  text.replace(text.find(plane_pulse), plane_pulse.size(), "slip = 4.65\nvm = 4.32\nts = 2.8");
  dir.write("u.toml", text);
  Ended r = run_fault(dir.path, {"u.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  double mu = 2600.0 * 3200 * 3200;           // density kg/m^3 * vs^2, Pa
  double m0 = 12 * mu * (2000.0 * 2000) * 4.647589;  // 12 subfaults of 2 x 2 km
  double mw = 2.0 / 3 * (std::log10(m0) - 9.1);
  char line[128];
  std::snprintf(line, sizeof line, "moment: %.6e N m, Mw %.4f\n", m0, mw);
  EXPECT_NE(r.out.find(line), std::string::npos) << r.out << line;
  EXPECT_NE(r.out.find("slip: mean 464.7589 cm, largest 464.7589 cm\n"), std::string::npos) << r.out;
}

// With MAGNITUDE every slip is scaled by one factor so that the moment the
// pulses carry is 10^(1.5 Mw + 9.1): the factor reported, the scaled slips in
// the batch table, and the moment of the SRF.
TEST(FaultSrf, MagnitudeScalesEverySlip) {
  TempDir dir;
  std::string text = fault_data("small.toml");
  text.replace(text.find("RAKE = 90.0"), 11, "RAKE = 90.0\nMAGNITUDE = 6.0");
  dir.write("m.toml", text);
  dir.write("small_table.csv", fault_data("small_table.csv"));
  Ended r = run_fault(dir.path, {"--csv", "sub.csv", "--table", "rows.csv", "m.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  size_t at = r.out.find("magnitude 6: every slip scaled by ");
  ASSERT_NE(at, std::string::npos) << r.out;
  double factor = std::stod(r.out.substr(at + 34));
  // Without the magnitude the moment is 1.943892e18 (Mw 6.1258).
  EXPECT_NEAR(factor, 1.2589254e18 / 1.943892e18, 2e-3);
  std::vector<std::string> rows = file_lines(dir.file("rows.csv"));
  ASSERT_EQ(rows.size(), 13u);
  float slip = static_cast<float>(static_cast<double>(4.65f) * factor);
  EXPECT_EQ(std::stof(rows[12].substr(rows[12].find(',', 5) + 1)), slip) << rows[12];
  // The moment of the SRF's slips, summed from the subfault CSV.
  double m0 = 0;
  for (const std::string& line : file_lines(dir.file("sub.csv")))
    if (line[0] != 'i') m0 += std::stod(line.substr(line.rfind(',') + 1));
  EXPECT_NEAR(m0 / 1.2589254e18, 1, 1e-4);
  EXPECT_NE(r.out.find("Mw 6.0000\n"), std::string::npos) << r.out;
}

}  // namespace
