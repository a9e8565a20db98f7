// Two promises of the fault tool that a user meets at once: an answer of 0
// for fmax, vm or ts (no frequency, speed or duration) is refused with its
// line, and the SRF and CSV are created as the user's umask allows.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
