// Bad descriptions, tables, answers and command lines: each refused with one
// line naming the file, the line and the key, exit status 2, and the folder
// left as it was (an older SRF there kept byte for byte).
#include <gtest/gtest.h>

#include <sys/stat.h>


#include "support/tool_support.h"

namespace {

struct Bad {
  const char* why;
  std::string description;
  std::string table;  // small_table.csv's text
  std::string message;
};

const std::string table_ok = "i,j,fmax,slip,vm,ts\n4,3,6,4.65,4.32,2.8\n";

std::vector<Bad> bad_cases() {
  return {
      // Syntax errors name the line and column of the TOML parser.
      {"a value missing", small_fault_with("DIP = 60.0", "DIP ="), table_ok,
       "fault.toml:11:6: Error while parsing key-value pair: expected value, saw '\\n'"},
      // A misspelt key is named with the nearest known one.
      {"misspelt plane key", small_fault_with("STRIKE = 30.0", "STRKE = 30.0"), table_ok,
       "fault.toml:10: unknown key STRKE (did you mean STRIKE?)"},
      {"misspelt table key", small_fault_with("vm = 0.8", "vn = 0.8"), table_ok,
       "fault.toml:26: unknown key pulse.vn (did you mean pulse.vm?)"},
      {"unknown key with no near one", small_fault_with("RAKE = 90.0", "RAKE = 90.0\nQUUXFROBNICATE = 1"), table_ok,
       "fault.toml:13: unknown key QUUXFROBNICATE"},
      {"missing plane key", small_fault_with("DIP = 60.0\n", ""), table_ok, "fault.toml: missing key DIP"},
      {"missing pulse key", small_fault_with("ts = 1.5\n", ""), table_ok, "fault.toml:23: [pulse] has no key ts"},
      {"missing table", small_fault_with("[rupture]\nvelocity = 2.5\n", ""), table_ok, "fault.toml: missing table [rupture]"},
      {"wrong type", small_fault_with("DIP = 60.0", "DIP = \"60\""), table_ok, "fault.toml:11: DIP must be a number"},
      {"not finite", small_fault_with("DIP = 60.0", "DIP = nan"), table_ok, "fault.toml:11: DIP is not finite"},
      // Ranges at their edges: dip (0, 90], strike [0, 360), latitude.
      {"dip 0", small_fault_with("DIP = 60.0", "DIP = 0"), table_ok, "fault.toml:11: DIP = 0 is outside (0, 90] degrees"},
      {"dip beyond 90", small_fault_with("DIP = 60.0", "DIP = 90.5"), table_ok,
       "fault.toml:11: DIP = 90.5 is outside (0, 90] degrees"},
      {"strike 360", small_fault_with("STRIKE = 30.0", "STRIKE = 360"), table_ok,
       "fault.toml:10: STRIKE = 360 is outside [0, 360) degrees"},
      {"latitude", small_fault_with("LAT_TOP_CENTER = 36.5", "LAT_TOP_CENTER = 91"), table_ok,
       "fault.toml:4: LAT_TOP_CENTER = 91 is outside [-90, 90] degrees"},
      {"negative length", small_fault_with("FAULT_LENGTH = 8.0", "FAULT_LENGTH = -8"), table_ok,
       "fault.toml:6: FAULT_LENGTH = -8 is outside (0, inf) km"},
      {"zero density", small_fault_with("density = 2.6", "density = 0"), table_ok,
       "fault.toml:21: medium.density = 0 is outside (0, inf) g/cm^3"},
      {"zero rupture velocity", small_fault_with("velocity = 2.5", "velocity = 0"), table_ok,
       "fault.toml:17: rupture.velocity = 0 is outside (0, inf) km/s"},
      {"DLEN not dividing", small_fault_with("DLEN = 2.0", "DLEN = 3.0"), table_ok,
       "fault.toml:7: DLEN = 3 does not divide FAULT_LENGTH = 8 into whole subfaults"},
      {"more subfaults than a disk holds", small_fault_with("DLEN = 2.0\nFAULT_WIDTH = 6.0\nDWID = 2.0",
                                                  "DLEN = 0.0001\nFAULT_WIDTH = 6.0\nDWID = 0.0001"),
       table_ok, "fault.toml:7: DLEN and DWID make 4800000000 subfaults, more than 10^9 (about 4 TB of SRF)"},
      {"hypocentre off the plane", small_fault_with("HYPO_DOWN_DIP = 3.0", "HYPO_DOWN_DIP = 6.5"), table_ok,
       "fault.toml:14: HYPO_DOWN_DIP = 6.5 is outside the plane (down dip 0 to FAULT_WIDTH)"},
      {"area off the plane", small_fault_with("along_strike = [-4.0, 0.0]", "along_strike = [-4.5, 0.0]"), table_ok,
       "fault.toml:31: area.along_strike = [-4.5, 0] is outside the plane [-4, 4]"},
      {"empty area", small_fault_with("down_dip = [0.0, 4.0]", "down_dip = [4.0, 4.0]"), table_ok,
       "fault.toml:32: area.down_dip = [4, 4] is empty"},
      {"negative slip", small_fault_with("slip = 0.5", "slip = -0.5"), table_ok,
       "fault.toml:25: pulse.slip = -0.5 is outside [0, 3.4e38] m"},
      {"an answer beyond a float", small_fault_with("vm = 0.8", "vm = 1e39"), table_ok,
       "fault.toml:26: pulse.vm = 1e+39 is outside (0, 3.4e38]"},
      // The table: the subfault must exist, each once, with numbers.
      {"table row off the plane", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n5,3,6,4.65,4.32,2.8\n",
       "small_table.csv:2: subfault (5, 3) does not exist: the plane has 4 x 3 subfaults"},
      {"table row twice", fault_data("small.toml"), table_ok + "4,3,6,1,1,2\n",
       "small_table.csv:3: subfault (4, 3) is already given on line 2"},
      {"table header", fault_data("small.toml"), "i,j,fmax,slip,vm\n",
       "small_table.csv:1: the first line must be exactly i,j,fmax,slip,vm,ts"},
      {"table field", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n4,3,6,4.65,,2.8\n",
       "small_table.csv:2: vm must be a number, not \"\""},
      {"table missing", fault_data("small.toml"), "",
       "small_table.csv: cannot read: No such file or directory"},
      // A pulse that cannot be computed names the subfault and its answers:
      // with a slip the pulse cannot carry, the search ends in NaN samples.
      {"pulse not finite", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n4,3,6,20,4.32,2.8\n",
       "subfault (4, 3) with fmax = 6, slip = 20, vm = 4.32, ts = 2.8: sample 188 (t = 1.87 s) is not finite"},
      // A td so short that the forward walk stalls: the search never ends.
      {"search does not end", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n2,3,1e8,4.65,4.32,2.8\n",
       "subfault (2, 3) with fmax = 1e+08, slip = 4.65, vm = 4.32, ts = 2.8: the slip-velocity search does not "
       "converge"},
      // A slip below what the rise alone carries: the pulse runs backwards.
      {"pulse negative", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n4,3,6,0.1,4.32,2.8\n",
       "subfault (4, 3) with fmax = 6, slip = 0.1, vm = 4.32, ts = 2.8: sample 12 (t = 0.11 s) is negative "
       "(-0.6579249 m/s)"},
      {"pulse shorter than a step", fault_data("small.toml"), "i,j,fmax,slip,vm,ts\n1,1,6,0.001,1,0.005\n",
       "subfault (1, 1) with fmax = 6, slip = 0.001, vm = 1, ts = 0.005: no sample lies above zero (ts is within "
       "the first step of 0.01 s)"},
  };
}

// Runs the tool on a description in a folder that also holds an older SRF
// under the target name; the folder must be exactly as it was.
TEST(FaultRefusal, EachBadInputOneLineStatus2FolderUntouched) {
  for (const Bad& c : bad_cases()) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    dir.write("fault.toml", c.description);
    if (!c.table.empty()) dir.write("small_table.csv", c.table);
    dir.write("fault.srf", "an older SRF\n");
    std::string before = folder_state(dir.path);
    Ended r = run_fault(dir.path, {"--csv", "sub.csv", "--table", "rows.csv", "fault.toml"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "slipvel-fault: " + c.message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(folder_state(dir.path), before);
  }
}

TEST(FaultRefusal, CommandLine) {
  const std::string usage =
      "usage: slipvel-fault [-j N] [-o FILE.srf] [--srf-version 1.0|2.0] [--points-per-segment] [--csv FILE.csv] "
      "[--table FILE.csv] DESCRIPTION.toml\n";
  struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "no description given\n" + usage},
      {{"-j", "0", "f.toml"}, "-j takes a whole number from 1 to 1024, not \"0\"\n"},
      {{"-j", "two", "f.toml"}, "-j takes a whole number from 1 to 1024, not \"two\"\n"},
      {{"--srf-version", "3.0", "f.toml"}, "--srf-version is 1.0 or 2.0, not \"3.0\"\n"},
      {{"--frobnicate", "f.toml"}, "unknown option --frobnicate\n" + usage},
      {{"-o"}, "-o needs a value\n" + usage},
      {{"missing.toml"}, "missing.toml: cannot read: No such file or directory\n"},
      {{"."}, ".: cannot read: Is a directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    Ended r = run_fault(dir.path, FaultRun{c.args});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "slipvel-fault: " + c.message);
    EXPECT_EQ(folder_state(dir.path), "");
  }
}

// An output named like an input would destroy the input.
TEST(FaultRefusal, OutputOverAnInput) {
  TempDir dir;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", table_ok);
  std::string before = folder_state(dir.path);
  Ended r = run_fault(dir.path, {"-o", "small_table.csv", "small.toml"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "slipvel-fault: small_table.csv: is an input of this run; choose another name\n");
  EXPECT_EQ(folder_state(dir.path), before);
}

// Keys of the simple source description that do not apply are named.
TEST(FaultRefusal, InapplicableKeysAreNamedInWarnings) {
  TempDir dir;
  dir.write("f.toml", small_fault_with("RAKE = 90.0", "RAKE = 90.0\nSEED = 2379646\nDT = 0.025\nCORNER_FREQ = 0.15"));
  dir.write("small_table.csv", table_ok);
  Ended r = run_fault(dir.path, {"f.toml"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err,
            "slipvel-fault: warning: f.toml:13: SEED does not apply here (the pulses have no random part) and is not "
            "used\n"
            "slipvel-fault: warning: f.toml:15: CORNER_FREQ does not apply here (the pulse's spectrum follows from "
            "fmax) and is not used\n"
            "slipvel-fault: warning: f.toml:14: DT = 0.025 does not apply here (the pulses are sampled every 0.01 s) "
            "and is not used\n");
  EXPECT_EQ(read_file(dir.file("f.srf")), fault_golden("small-2.0.srf"));
}

// A folder that cannot be written: the system's reason, nothing left.
TEST(FaultRefusal, ReadOnlyFolderAsNobody) {
  TempDir dir;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", table_ok);
  ASSERT_EQ(mkdir(dir.file("ro").c_str(), 0755), 0);
  dir.write("ro/small.srf", "an older SRF\n");
  chmod(dir.path.c_str(), 0755);
  for (auto name : {"small.toml", "small_table.csv"}) chmod(dir.file(name).c_str(), 0644);
  chmod(dir.file("ro/small.srf").c_str(), 0644);
  std::string before = folder_state(dir.file("ro"));
  FaultRun run{{"-o", "ro/small.srf", "small.toml"}};
  run.as_nobody = true;
  Ended r = run_fault(dir.path, run);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "slipvel-fault: ro/small.srf: cannot create a file beside it: Permission denied\n");
  EXPECT_EQ(folder_state(dir.file("ro")), before);
}

// A full disk (a file-size limit): the failure names the file and the
// system's reason; the older SRF stays and no temporary is left. (The limit
// holds for the run's standard error too, a file here: it leaves room for
// the message.)
TEST(FaultRefusal, DiskFullKeepsTheOlderFile) {
  for (long limit : {4096L, 30000L}) {
    SCOPED_TRACE(limit);
    TempDir dir;
    dir.write("small.toml", fault_data("small.toml"));
    dir.write("small_table.csv", table_ok);
    dir.write("small.srf", "an older SRF\n");
    std::string before = folder_state(dir.path);
    FaultRun run{{"small.toml"}};
    run.file_size_limit = limit;
    Ended r = run_fault(dir.path, run);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "slipvel-fault: small.srf: write failed: File too large\n");
    EXPECT_EQ(folder_state(dir.path), before);
  }
}

}  // namespace

namespace {

// A FIFO (or a device) under the target's name is not replaced by a file: a
// rename would put a file where the node was.
TEST(FaultRefusal, TargetThatIsNotAFile) {
  TempDir dir;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", table_ok);
  ASSERT_EQ(mkfifo(dir.file("small.srf").c_str(), 0644), 0);
  Ended r = run_fault(dir.path, {"small.toml"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "slipvel-fault: small.srf: not a regular file (the file is written whole under a temporary name and "
            "renamed)\n");
  struct stat st;
  ASSERT_EQ(lstat(dir.file("small.srf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A target that is a link: the link stays and the file it names is replaced.
TEST(FaultRefusal, TargetThatIsALink) {
  TempDir dir;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", table_ok);
  ASSERT_EQ(mkdir(dir.file("data").c_str(), 0755), 0);
  dir.write("data/real.srf", "an older SRF\n");
  ASSERT_EQ(symlink("data/real.srf", dir.file("small.srf").c_str()), 0);
  Ended r = run_fault(dir.path, {"small.toml"});
  ASSERT_EQ(r.code, 0) << r.err;
  struct stat st;
  ASSERT_EQ(lstat(dir.file("small.srf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(dir.read("data/real.srf"), fault_golden("small-2.0.srf"));
}

}  // namespace
