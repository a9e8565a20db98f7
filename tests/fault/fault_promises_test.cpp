// Promises of the fault tool that a user meets at once: an answer of 0 for
// fmax, vm or ts refused with its line; the SRF and CSV created as the
// umask allows; info's moment counting SLIP2; the content of every chunk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "support/tool_support.h"

namespace {

TEST(FaultAnswers, ZeroFmaxVmOrTsIsRefused) {
  const struct {
    const char* from;
    const char* to;
    const char* message;
  } cases[] = {
      {"fmax = 6", "fmax = 0", "slipvel-fault: f.toml:24: pulse.fmax = 0 is outside (0, 3.4e38]\n"},
      {"vm = 0.8", "vm = 0", "slipvel-fault: f.toml:26: pulse.vm = 0 is outside (0, 3.4e38]\n"},
      {"ts = 1.5", "ts = 0", "slipvel-fault: f.toml:27: pulse.ts = 0 is outside (0, 3.4e38]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    TempDir dir;
    std::string text = fault_data("small.toml");
    text.replace(text.find(c.from), std::string(c.from).size(), c.to);
    dir.write("f.toml", text);
    dir.write("small_table.csv", fault_data("small_table.csv"));
    Ended r = run_fault(dir.path, {"f.toml"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, c.message);
  }
}

TEST(FaultModes, OutputsCreatedAsTheUmaskAllows) {
  TempDir dir, scratch;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", fault_data("small_table.csv"));
  Ended r = run_command({"/bin/sh", "-c", "cd \"$1\" && umask 027 && exec \"$2\" -o x.srf --csv x.csv small.toml",
                         "sh", dir.path, SLIPVEL_FAULT_BIN},
                        {}, scratch);
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* f : {"x.srf", "x.csv"}) {
    struct stat st;
    ASSERT_EQ(stat(dir.file(f).c_str(), &st), 0) << f;
    EXPECT_EQ(st.st_mode & 0777, 0640u) << f;
  }
}

}  // namespace

namespace {

// info's moment counts the slip across the rake (SLIP2) as well: the small
// fault's SRF with every SLIP1 and its samples moved to SLIP2 has the same
// moment and magnitude.
TEST(FaultInfo, MomentCountsSlip2) {
  TempDir dir, scratch;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", fault_data("small_table.csv"));
  ASSERT_EQ(run_fault(dir.path, {"-o", "x.srf", "small.toml"}).code, 0);
  // A point's second line: RAKE SLIP1 NT1 SLIP2 NT2 SLIP3 NT3.
  Ended moved = run_shell("awk 'p && NF == 7 { print $1, 0, 0, $2, $3, 0, 0; next } /^POINTS/ { p = 1 } { print }' '" +
                              dir.file("x.srf") + "' > '" + dir.file("y.srf") + "'",
                          scratch);
  ASSERT_EQ(moved.code, 0);
  auto moment = [&](const char* srf) {
    std::string out = run_fault(dir.path, {"info", srf}).out;
    size_t at = out.find("moment M0:");
    return at == std::string::npos ? out : out.substr(at, out.find('\n', out.find("Mw:")) - at);
  };
  std::string m = moment("x.srf");
  EXPECT_EQ(m, "moment M0: 1.943893e+18 N m\nMw: 6.1258");
  EXPECT_EQ(moment("y.srf"), m);
}

}  // namespace

namespace {

// A fault of three chunks of 1,024 subfaults: the last subfault (in the
// third chunk) is the one the table names, at its own place. 40 x 60
// subfaults of 0.2 x 0.1 km: its centre lies 3.9 km along strike from the
// centre and 5.95 km down dip; its answers are the program's example, whose
// slip is 464.7589 cm in 282 samples.
TEST(FaultChunks, LastChunkHoldsItsOwnSubfaults) {
  TempDir dir;
  std::string text = fault_data("small.toml");
  auto set = [&](const std::string& from, const std::string& to) { text.replace(text.find(from), from.size(), to); };
  set("DLEN = 2.0", "DLEN = 0.2");
  set("DWID = 2.0", "DWID = 0.1");
  set("table = \"small_table.csv\"", "table = \"rows.csv\"");
  dir.write("big.toml", text);
  dir.write("rows.csv", "i,j,fmax,slip,vm,ts\n40,60,6,4.65,4.32,2.8\n");
  Ended r = run_fault(dir.path, {"-o", "big.srf", "--csv", "big.csv", "big.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> lines = file_lines(dir.file("big.csv"));
  ASSERT_EQ(lines.size(), 2401u);
  std::vector<std::string> f;
  std::istringstream s(lines.back());
  for (std::string x; std::getline(s, x, ',');) f.push_back(x);
  ASSERT_EQ(f.size(), 18u);
  // i, j, along, down; fmax, slip, vm, ts; nt1; slip1.
  EXPECT_EQ(f[0] + "," + f[1] + "," + f[2] + "," + f[3], "40,60,3.9000,5.9500");
  EXPECT_EQ(f[8] + "," + f[9] + "," + f[10] + "," + f[11], "6,4.65,4.32,2.8");
  EXPECT_EQ(f[14], "282");
  EXPECT_EQ(f[16], "464.7589");
}

}  // namespace
