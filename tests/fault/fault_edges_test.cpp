// The fault tool where a seismologist first meets its edges: a plane across
// the antimeridian, angles that are not whole degrees, area edges on decimal
// grids, descriptions that change nothing, standard streams as files, and the
// same moment in the summary and in info.
#include <gtest/gtest.h>

#include <cmath>

#include "fault/subfault_answers.h"
#include "srf/srf_file.h"
#include "support/tool_support.h"

namespace {

const std::string tool = SLIPVEL_FAULT_BIN;

// A folder with `description` as f.toml and the small fault's table.
struct Folder {
  TempDir dir;
  explicit Folder(const std::string& description, const std::string& table = fault_data("small_table.csv")) {
    dir.write("f.toml", description);
    dir.write("small_table.csv", table);
  }
  Ended run(std::vector<std::string> args = {"f.toml"}) const { return run_fault(dir.path, args); }
  Ended shell(const std::string& script) const {
    TempDir scratch;
    return run_command({"/bin/sh", "-c", "cd '" + dir.path + "' && " + script}, {}, scratch, 120);
  }
  SrfPoints srf(const std::string& name = "f.srf") const { return read_points(dir.file(name)); }
};

// Across 180 degrees: PLANE ELON and every point in one interval around the
// top centre (beyond 180 east of it), and the map drawn.
TEST(FaultEdges, APlaneAcrossTheAntimeridianIsContinuous) {
  Folder f(small_fault_with("LON_TOP_CENTER = 138.25", "LON_TOP_CENTER = 179.99")
               .replace(fault_data("small.toml").find("STRIKE = 30.0"), 13, "STRIKE = 90.0"));
  Ended r = f.run();
  ASSERT_EQ(r.code, 0) << r.err;
  SrfPoints srf = f.srf();
  EXPECT_EQ(srf.head.planes.at(0).elon, 179.99);
  int east_of_180 = 0;
  for (const SrfPoint& p : srf.points) {
    EXPECT_GT(p.lon, 179.9);
    EXPECT_LT(p.lon, 180.1);
    east_of_180 += p.lon > 180;
  }
  EXPECT_GT(east_of_180, 0);
  if (std::system("command -v gmt >/dev/null && command -v gnuplot >/dev/null") != 0)
    GTEST_SKIP() << "gmt or gnuplot is not installed";
  Ended m = f.run({"plot", "--map", "f.srf"});
  EXPECT_EQ(m.code, 0) << m.err;
  EXPECT_TRUE(f.dir.exists("f-map.png"));
}

// Angles that are not whole degrees are written with the decimals they need
// and read back as described; whole ones keep their field (the golden files).
TEST(FaultEdges, AnglesReadBackAsDescribed) {
  struct {
    double strike, dip, rake;
  } cases[] = {{359.9, 12.4, 180.5}, {105.5, 89.99, -90.25}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.strike);
    std::string text = small_fault_with("STRIKE = 30.0", "STRIKE = " + std::to_string(c.strike));
    text.replace(text.find("DIP = 60.0"), 10, "DIP = " + std::to_string(c.dip));
    text.replace(text.find("RAKE = 90.0"), 11, "RAKE = " + std::to_string(c.rake));
    Folder f(text);
    Ended r = f.run();
    ASSERT_EQ(r.code, 0) << r.err;
    SrfPoints srf = f.srf();
    EXPECT_NEAR(srf.head.planes.at(0).stk, c.strike, 1e-4);
    EXPECT_NEAR(srf.head.planes.at(0).dip, c.dip, 1e-4);
    for (const SrfPoint& p : srf.points) {
      EXPECT_NEAR(p.stk, c.strike, 1e-4);
      EXPECT_NEAR(p.dip, c.dip, 1e-4);
      EXPECT_NEAR(p.rake, c.rake, 1e-4);
    }
  }
  Folder f(fault_data("small.toml"));
  ASSERT_EQ(f.run().code, 0);
  EXPECT_TRUE(f.dir.read("f.srf") == fault_golden("small-2.0.srf"));
}

// An area's edges include the centres on them on decimal grids, where the
// centre's binary sum may land a rounding beyond the edge.
TEST(FaultEdges, AreaEdgesIncludeTheCentresOnThem) {
  struct {
    double step, from, to;  // km: subfault size; area along strike and down dip
    int columns, rows;      // centres inside
  } cases[] = {
      {0.1, 0.15, 0.35, 3, 3},  // centres 0.15, 0.25, 0.35 (down dip: 0.15 .. 0.35 too)
      {0.05, 0.175, 0.325, 4, 4},
      {0.2, 0.1, 0.5, 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    Description d;
    Plane& p = d.plane;
    p.length = 1.0, p.width = 1.0, p.dlen = c.step, p.dwid = c.step;
    p.nstk = p.ndip = static_cast<int>(std::lround(1.0 / c.step));
    d.segments.push_back({p, 0, 0});
    d.pulse = {6, 1, 1, 2};
    Area a;
    a.along0 = c.from - 0.5, a.along1 = c.to - 0.5;  // along strike from the top centre
    a.down0 = c.from, a.down1 = c.to;
    a.slip = 2;
    d.areas.push_back(a);
    SubfaultAnswers answers(d, 1);
    int inside = 0;
    for (int j = 1; j <= p.ndip; j++)
      for (int i = 1; i <= p.nstk; i++) inside += answers.of(centre_of(p, i, j)).slip == 2;
    EXPECT_EQ(inside, c.columns * c.rows);
  }
}

// Descriptions that change nothing are told so, the run going on; tables
// take blank and comment lines.
TEST(FaultEdges, WarningsForWhatChangesNothing) {
  const std::string idle_area = "\n[[area]]\nalong_strike = [-4.0, 0.0]\ndown_dip = [0.0, 2.0]\n";
  const std::string empty_area = "\n[[area]]\nalong_strike = [-3.9, -3.5]\ndown_dip = [0.0, 2.0]\nslip = 1.0\n";
  struct {
    const char* why;
    std::string description, table, err;
  } cases[] = {
      {"an area that sets no answer", fault_data("small.toml") + idle_area, fault_data("small_table.csv"),
       "slipvel-fault: warning: f.toml:47: this [[area]] sets none of fmax, slip, vm, ts: it changes no subfault\n"},
      {"an area that holds no centre", fault_data("small.toml") + empty_area, fault_data("small_table.csv"),
       "slipvel-fault: warning: f.toml:47: this [[area]] holds no subfault centre (they lie every 2 km along "
       "strike and 2 km down dip): it changes no subfault\n"},
      {"no slip anywhere",
       small_fault_with("slip = 0.5", "slip = 0").substr(0, small_fault_with("slip = 0.5", "slip = 0").find("# Subfaults")), "",
       "slipvel-fault: warning: f.toml:25: every subfault's slip is 0: the fault has no moment\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Folder f(c.description, c.table);
    Ended r = f.run();
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(f.dir.exists("f.srf"));
  }
  // Blank and comment lines in the table: the same file as without them.
  Folder f(fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n# the deepest corner\n\n" +
                                         fault_data("small_table.csv").substr(20) + "  \n# end\n");
  Ended r = f.run();
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(f.dir.read("f.srf") == fault_golden("small-2.0.srf"));
}

// What cannot be used is refused with its line, nothing written.
TEST(FaultEdges, RefusalsNameWhatIsWrong) {
  struct {
    const char* why;
    std::string description, err;
  } cases[] = {
      {"an unknown table", fault_data("small.toml") + "\n[slip]\nvalue = 1\n",
       "slipvel-fault: f.toml:47: unknown table [slip]; the tables are [rupture], [medium], [pulse], [scenario], "
       "[[area]], [[asperity]], [[segment]] and [subfaults]\n"},
      {"a misspelt table", small_fault_with("[pulse]", "[plse]"),
       "slipvel-fault: f.toml:23: unknown table [plse] (did you mean [pulse]?); the tables are [rupture], "
       "[medium], [pulse], [scenario], [[area]], [[asperity]], [[segment]] and [subfaults]\n"},
      {"a pulse longer than the grid may hold", small_fault_with("ts = 1.5", "ts = 61"),
       "slipvel-fault: f.toml:27: pulse.ts = 61 is longer than the 60 s that a subfault's samples may span\n"},
      {"a pulse that fails once MAGNITUDE scales its slip", small_fault_with("HYPO_DOWN_DIP = 3.0", "HYPO_DOWN_DIP = 3.0\nMAGNITUDE = 7.3"),
       "slipvel-fault: subfault (1, 1) with fmax = 6, slip = 69.27637, vm = 1.5, ts = 2.4: sample 12 (t = 0.11 s) "
       "is negative (-0.22844614 m/s) (the slip is the described 1.2 m scaled by 57.730302 for MAGNITUDE = 7.3)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Folder f(c.description);
    std::string before = folder_state(f.dir.path);
    Ended r = f.run();
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(folder_state(f.dir.path), before);
  }
}

// -o - streams the SRF to standard output (the summary goes to standard
// error), so that it can be compressed on the way; info - reads standard
// input, and names it in a refusal.
TEST(FaultEdges, StandardStreamsAsFiles) {
  Folder f(fault_data("small.toml"));
  Ended r = f.shell("'" + tool + "' -o - f.toml | gzip > f.srf.gz && gunzip f.srf.gz");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(f.dir.read("f.srf") == fault_golden("small-2.0.srf"));
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("written: standard output (32608 bytes)\n"), std::string::npos) << r.err;
  Ended from_file = f.shell("exec '" + tool + "' info f.srf");
  Ended from_pipe = f.shell("exec '" + tool + "' info - < f.srf");
  EXPECT_EQ(from_pipe.code, 0) << from_pipe.err;
  EXPECT_EQ(from_pipe.out, from_file.out);
  Ended bad = f.shell("printf '3.0\\n' | exec '" + tool + "' info -");
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "slipvel-fault: standard input:1: \"3.0\" is not a version line (1.0 or 2.0)\n");
}

// The summary's moment is the file's: info finds the same for the example.
TEST(FaultEdges, SummaryAndInfoStateTheSameMoment) {
  Folder f(read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/fault.toml"));
  Ended r = f.run();
  ASSERT_EQ(r.code, 0) << r.err;
  Ended info = f.shell("exec '" + tool + "' info f.srf");
  auto value = [](const std::string& text, const std::string& key) {
    size_t at = text.find(key);
    return at == std::string::npos ? "" : text.substr(at + key.size(), 12);
  };
  EXPECT_EQ(value(r.out, "moment: "), value(info.out, "moment M0: ")) << r.out << info.out;
  EXPECT_NE(value(r.out, "moment: "), "");
  EXPECT_EQ(value(r.out, "Mw "), value(info.out, "Mw: ").substr(0, 6) + value(r.out, "Mw ").substr(6));
}

}  // namespace
