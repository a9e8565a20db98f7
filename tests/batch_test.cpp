// slipvel-batch on this machine: every row's folder is a direct run, the
// summary and the failures are exact, a rerun runs only the failed rows, and
// bad tables or unusable folders are refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "batch_support.h"

namespace {

// Twenty points: the example, unusual but complete answers, a search that
// does not converge (fmax 0) and an answer the program refuses.
const std::vector<Row> twenty = {
    {"example", "6", "4.65", "4.32", "2.8"},
    {"-units", "6 (Hz)", "4.65 (m)", "4.32 (m/s)", "2.8 (s)"},
    {"blanks", "  6", "4.65  ", "\t4.32", "  2.8"},
    {"exp_e", "6e0", "4.65E0", "0.432e1", "28e-1"},
    {"exp_d", "6D0", "4.65d0", "4.32D0", "2.8D0"},
    {"exp_bare", "60-1", "465-2", "432-2", "28-1"},
    {"plus", "+6", "+4.65", "+4.32", "+2.8"},
    {"zero", "0", "4.65", "4.32", "2.8"},
    {"f1", "1", "4.65", "4.32", "2.8"},
    {"f2.5", "2.5", "3", "2", "4"},
    {"f10", "10", "2", "3", "1.5"},
    {"f20", "20", "1", "2", "1"},
    {"f40", "40", "1", "2", "1"},
    {"abc", "abc", "4.65", "4.32", "2.8"},
    {"small_slip", "6", "0.5", "1", "2"},
    {"ts1", "5", "1", "1.5", "1"},
    {"ts5", "4", "6", "3", "5"},
    {"ts9.9", "3", "8", "2.5", "9.9"},
    {"slash", "6", "4.65", "4.32", "/"},
    {"a.b_c-d", "6.5", "2.25", "1.75", "3.25"},
};

// The table as a user writes it, with a comment and a blank line.
std::string twenty_table() {
  std::string text = table_text(twenty);
  return text.insert(text.find('\n') + 1, "# points of one scenario\n\n");
}

class TwentyRows : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch = new TempDir;
    scratch->write("fault.csv", twenty_table());
    first = new Ended(run());
  }
  static void TearDownTestSuite() {
    delete first;
    delete scratch;
  }
  static Ended run() {
    return run_command({batch_tool(), scratch->file("fault.csv"), scratch->file("out")}, {}, *scratch);
  }
  static std::string out(const std::string& name) { return scratch->file("out/" + name); }
  static TempDir* scratch;
  static Ended* first;
};
TempDir* TwentyRows::scratch;
Ended* TwentyRows::first;

TEST_F(TwentyRows, EveryFolderIsADirectRun) {
  for (const Row& row : twenty) {
    SCOPED_TRACE(row.id);
    expect_direct_run(out(row.id), row.answers());
  }
}

// The summary follows the table; its values are the second line of each
// complete run's parameter.csv, its statuses those a shell reports.
TEST_F(TwentyRows, SummaryHasOneLinePerRowInTableOrder) {
  std::vector<std::string> expected = {"id,status,td,Vm,tr,ts,slip,td2,V_td,tr2,V_tr,ts2,V_ts"};
  for (const Row& row : twenty) {
    TempDir direct;
    int status = shell_status(run_slipvel(direct.path, row.answers()));
    std::string values = ",,,,,,,,,,";
    if (status == 0) {
      std::string line = file_lines(direct.file("parameter.csv")).at(1);
      values = line.substr(0, line.size() - 1);  // without the row's closing comma
    }
    expected.push_back(row.id + "," + std::to_string(status) + "," + values);
  }
  EXPECT_EQ(file_lines(out("summary.csv")), expected);
  EXPECT_EQ(file_lines(out("summary.csv"))[8], "zero,2,,,,,,,,,,,");
  EXPECT_EQ(file_lines(out("summary.csv"))[14], "abc,134,,,,,,,,,,,");
}

TEST_F(TwentyRows, FailedRowsAreNamedWithTheirFirstErrorLine) {
  EXPECT_EQ(first->code, 1);
  EXPECT_EQ(first->out, "");
  TempDir zero;
  std::string no_convergence = run_slipvel(zero.path, "0\n4.65\n4.32\n2.8\n").err;
  EXPECT_EQ(first->err, "zero: status 2: " + no_convergence.substr(0, no_convergence.find('\n') + 1) +
                            "abc: status 134: invalid number: incomprehensible list input\n");
}

// The same command again runs the two failed rows only, each in an emptied
// folder, and leaves the complete rows' files as they were.
TEST_F(TwentyRows, RerunRunsOnlyTheFailedRows) {
  std::map<std::string, std::string> before;
  for (const Row& row : twenty)
    for (const char* f : row_files) before[row.id + "/" + f] = file_state(out(row.id + "/" + f));
  std::string summary = read_file(out("summary.csv"));
  auto jobs_before = read_joblog(out("joblog"));
  // A stray file in a failed row's folder is not part of its run.
  std::ofstream(out("zero/leftover.csv")) << "x\n";

  Ended again = run();
  EXPECT_EQ(again.code, 1);
  EXPECT_EQ(again.err, first->err);
  auto jobs = read_joblog(out("joblog"));
  ASSERT_EQ(jobs.size(), jobs_before.size() + 2);
  std::set<int> rerun = {jobs[jobs.size() - 2].seq, jobs.back().seq};
  EXPECT_EQ(rerun, (std::set<int>{8, 14}));  // zero and abc, by table row
  for (const Row& row : twenty) {
    if (row.id == "zero" || row.id == "abc") continue;
    for (const char* f : row_files)
      EXPECT_EQ(before[row.id + "/" + f], file_state(out(row.id + "/" + f))) << row.id << "/" << f;
  }
  EXPECT_FALSE(std::filesystem::exists(out("zero/leftover.csv")));
  expect_direct_run(out("zero"), twenty[7].answers());
  EXPECT_EQ(read_file(out("summary.csv")), summary);
}

// Shell syntax in a field is text to the program, here as on another
// machine: it reaches the program as typed and creates or removes nothing.
TEST(Batch, AnswersNeverReachAShell) {
  TempDir scratch;
  scratch.write("victim", "");
  std::string canary = scratch.file("canary"), victim = scratch.file("victim");
  std::vector<Row> rows = {
      {"subst", "$(touch " + canary + ")", "4.65", "4.32", "2.8"},
      {"list", "6;rm -f " + victim, "4.65", "4.32", "2.8"},
      {"ticks", "6", "`touch " + canary + "`", "4.32", "2.8"},
      {"quotes", "6", "4.65", "'4.32\"", "2.8 $HOME"},
      {"example", "6", "4.65", "4.32", "2.8"},
  };
  scratch.write("t.csv", table_text(rows));
  Ended end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 1) << end.err;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    expect_direct_run(scratch.file("out/" + row.id), row.answers());
  }
  EXPECT_FALSE(scratch.exists("canary"));
  EXPECT_TRUE(scratch.exists("victim"));
}

// Each fault of a table: status 2, one line naming the table's line, no
// OUTDIR and nothing else written.
TEST(Batch, BadTablesAreRefusedBeforeAnythingIsWritten) {
  const std::string head = "id,fmax,slip,vm,ts\n", row = "p1,6,4.65,4.32,2.8\n";
  struct Case {
    std::string table, where, why;
  } cases[] = {
      {"id,fmax,slip,vm\n" + row, ":1:", "first line must be exactly id,fmax,slip,vm,ts"},
      {"id,fmax,slip,vm,ts\r\n" + row, ":1:", "DOS line ends"},
      {"# points\n" + head + row, ":1:", "first line"},
      {"", ":1:", "empty table"},
      {head + "# only a comment\n\n", ":3:", "no rows"},
      {head + row + "p2,6,4.65,4.32\n", ":3:", "4 fields"},
      {head + "p2,6,4.65,4.32,2.8,\n", ":2:", "6 fields"},
      {head + row + "\n" + "p1,5,1,1,1\n", ":4:", "id \"p1\" repeats line 2"},
      {head + "a/b,6,4.65,4.32,2.8\n", ":2:", "bad id \"a/b\""},
      {head + "..,6,4.65,4.32,2.8\n", ":2:", "bad id \"..\""},
      {head + ".,6,4.65,4.32,2.8\n", ":2:", "bad id \".\""},
      {head + ",6,4.65,4.32,2.8\n", ":2:", "bad id \"\""},
      {head + "a b,6,4.65,4.32,2.8\n", ":2:", "bad id \"a b\""},
      {head + "joblog,6,4.65,4.32,2.8\n", ":2:", "name of a file of OUTDIR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    TempDir scratch;
    scratch.write("t.csv", c.table);
    Ended end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
    EXPECT_EQ(end.code, 2);
    EXPECT_EQ(count_lines(end.err), 1) << end.err;
    EXPECT_NE(end.err.find("t.csv" + c.where), std::string::npos) << end.err;
    EXPECT_NE(end.err.find(c.why), std::string::npos) << end.err;
    EXPECT_FALSE(scratch.exists("out"));
  }
}

// Without a program beside it or on PATH the tool runs nothing.
TEST(Batch, MissingProgramIsRefused) {
  TempDir scratch;
  std::filesystem::copy_file(batch_tool(), scratch.file("slipvel-batch"));
  scratch.write("t.csv", table_text({{"p1", "6", "4.65", "4.32", "2.8"}}));
  Ended end = run_command({scratch.file("slipvel-batch"), scratch.file("t.csv"), scratch.file("out")},
                          {"PATH=/usr/bin:/bin"}, scratch);
  EXPECT_EQ(end.code, 2);
  EXPECT_EQ(end.err.rfind("slipvel-batch: cannot find slipvel", 0), 0u) << end.err;
  EXPECT_FALSE(scratch.exists("out"));
}

// A folder of other files, or a batch of other rows, is not overwritten.
TEST(Batch, ForeignOrChangedOutdirIsRefusedUntouched) {
  TempDir scratch;
  scratch.write("t.csv", table_text({{"p1", "6", "4.65", "4.32", "2.8"}}));
  std::filesystem::create_directory(scratch.file("mine"));
  scratch.write("mine/notes.txt", "mine\n");
  Ended end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("mine")}, {}, scratch);
  EXPECT_EQ(end.code, 2);
  EXPECT_NE(end.err.find("holds files but no batch"), std::string::npos) << end.err;
  auto entries = std::filesystem::directory_iterator(scratch.file("mine"));
  EXPECT_EQ(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 1);
  EXPECT_EQ(scratch.read("mine/notes.txt"), "mine\n");

  ASSERT_EQ(run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch).code, 0);
  std::string summary = scratch.read("out/summary.csv");
  scratch.write("t.csv", table_text({{"p1", "6", "4.65", "4.32", "2.9"}}));
  end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 2);
  EXPECT_NE(end.err.find("differ from those of the batch"), std::string::npos) << end.err;
  EXPECT_EQ(scratch.read("out/summary.csv"), summary);
}

}  // namespace
