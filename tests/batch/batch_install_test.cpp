// Installation: `cmake --install` puts the program, the batch tool, their
// manual pages and the plot script under a prefix, and the installed tool
// runs the installed program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/batch_support.h"

#ifndef SLIPVEL_CMAKE
#define SLIPVEL_CMAKE "/usr/bin/cmake"
#endif

namespace {

std::string source(const std::string& name) { return std::string(SLIPVEL_SOURCE_DIR) + "/" + name; }

TEST(Install, PrefixHoldsToolsPagesAndPlotScriptAndTheToolRunsFromThere) {
  TempDir prefix, scratch;
  Ended install = run_command({SLIPVEL_CMAKE, "--install", build_dir(), "--prefix", prefix.path}, {}, scratch);
  ASSERT_EQ(install.code, 0) << install.err;
  for (const char* tool : {"bin/slipvel", "bin/slipvel-batch"})
    EXPECT_EQ(access(prefix.file(tool).c_str(), X_OK), 0) << tool;
  EXPECT_EQ(prefix.read("share/slipvel/slipvel.gp"), read_file(source("plot/slipvel.gp")));
  for (const char* page : {"slipvel.1", "slipvel-batch.1"})
    EXPECT_EQ(prefix.read(std::string("share/man/man1/") + page), read_file(source("man/") + page)) << page;

  // No slipvel on this PATH: the tool takes the one installed beside it.
  std::vector<Row> rows = {{"example", "6", "4.65", "4.32", "2.8"}, {"zero", "0", "1", "1", "1"}};
  scratch.write("t.csv", table_text(rows));
  Ended end = run_command({prefix.file("bin/slipvel-batch"), scratch.file("t.csv"), scratch.file("out")},
                          {"PATH=/usr/bin:/bin"}, scratch);
  EXPECT_EQ(end.code, 1) << end.err;
  EXPECT_EQ(end.err.rfind("zero: status 2: ", 0), 0u) << end.err;
  expect_direct_rows(scratch.file("out"), rows);
}

// man renders each page without a warning and lexgrog finds its NAME line,
// which whatis and apropos use.
TEST(Install, ManualPagesRenderCleanlyAndNameTheirTool) {
  if (access("/usr/bin/man", X_OK) != 0 || access("/usr/bin/lexgrog", X_OK) != 0)
    GTEST_SKIP() << "man-db is not installed";
  TempDir scratch;
  for (const char* name : {"slipvel", "slipvel-batch"}) {
    SCOPED_TRACE(name);
    std::string page = source("man/") + name + ".1";
    Ended shown = run_command({"/usr/bin/man", "--warnings", "-l", page}, {"MANWIDTH=80", "MANPAGER=cat"},
                              scratch);
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.err, "");
    EXPECT_NE(shown.out.find("SYNOPSIS"), std::string::npos);
    Ended whatis = run_command({"/usr/bin/lexgrog", page}, {}, scratch);
    EXPECT_EQ(whatis.code, 0) << whatis.out;
    EXPECT_NE(whatis.out.find(std::string(": \"") + name + " - "), std::string::npos) << whatis.out;
  }
}

}  // namespace
