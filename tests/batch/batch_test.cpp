// slipvel-batch on this machine: every row's folder is a direct run, the
// summary and the failures are exact, a rerun runs only the rows without a
// complete folder, and bad tables or unusable folders are refused before
// anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "support/batch_support.h"

namespace {

// Twenty points: the example, unusual but complete answers, a search that
// does not converge (fmax 0) and an answer the program refuses.
const std::vector<Row> twenty = {
    {"example", "6", "4.65", "4.32", "2.8"},
    {"units", "6 (Hz)", "4.65 (m)", "4.32 (m/s)", "2.8 (s)"},
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

// Complete rows in OUTDIR/ID, the others in OUTDIR/failed/ID.
TEST_F(TwentyRows, EveryFolderIsADirectRun) {
  std::vector<int> statuses = expect_direct_rows(scratch->file("out"), twenty);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 0), 18);
  EXPECT_EQ(scratch->read("out/failed/zero/status.txt"), "2\n");
  EXPECT_EQ(scratch->read("out/failed/abc/status.txt"), "134\n");
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

// A failed row's line holds the program's whole report on one line, its
// lines joined with "; " (the rows end in any order, two at a time).
TEST_F(TwentyRows, FailedRowsAreNamedWithTheirWholeReport) {
  EXPECT_EQ(first->code, 1);
  EXPECT_EQ(first->out, "");
  TempDir zero;
  std::string no_convergence = run_slipvel(zero.path, "0\n4.65\n4.32\n2.8\n").err;
  no_convergence.pop_back();
  std::vector<std::string> lines = file_lines(scratch->file("command.err"));
  ASSERT_EQ(lines.size(), 3u) << first->err;
  std::sort(lines.begin(), lines.end() - 1);
  EXPECT_EQ(lines[0], "abc: status 134: invalid number: incomprehensible list input; "
                      "apparent state: unit 5 (unnamed); last format: list io; "
                      "lately reading sequential formatted external IO");
  EXPECT_EQ(lines[1], "zero: status 2: " + no_convergence);
  EXPECT_EQ(lines[2], "slipvel-batch: 2 rows failed (folders in failed/)");
}

// The same command again runs the two failed rows only, each in an emptied
// folder, and leaves the complete rows' files as they were.
TEST_F(TwentyRows, RerunRunsOnlyTheFailedRows) {
  std::map<std::string, std::string> before;
  for (const Row& row : twenty)
    for (const char* f : row_files) before[row.id + "/" + f] = file_state(out(row.id + "/" + f));
  std::string summary = read_file(out("summary.csv"));
  std::string failed_before = file_state(out("failed/zero/stderr.txt"));
  // A stray file in a failed row's folder is not part of its run.
  std::ofstream(out("failed/zero/leftover.csv")) << "x\n";

  Ended again = run();
  EXPECT_EQ(again.code, 1);
  EXPECT_EQ(count_lines(again.err), 3) << again.err;
  for (const Row& row : twenty) {
    if (row.id == "zero" || row.id == "abc") continue;
    for (const char* f : row_files)
      EXPECT_EQ(before[row.id + "/" + f], file_state(out(row.id + "/" + f))) << row.id << "/" << f;
  }
  EXPECT_NE(file_state(out("failed/zero/stderr.txt")), failed_before);
  EXPECT_FALSE(std::filesystem::exists(out("failed/zero/leftover.csv")));
  expect_direct_run(out("failed/zero"), twenty[7].answers());
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
  expect_direct_rows(scratch.file("out"), rows);
  EXPECT_FALSE(scratch.exists("canary"));
  EXPECT_TRUE(scratch.exists("victim"));
}

// Each fault of a table: status 2, one line naming the table's line and
// what to do, no OUTDIR and nothing else written.
TEST(Batch, BadTablesAreRefusedBeforeAnythingIsWritten) {
  const std::string head = "id,fmax,slip,vm,ts\n", row = "p1,6,4.65,4.32,2.8\n";
  const std::string id200(200, 'a'), id201(201, 'a'), id256(256, 'a');
  const std::string bad_id = "\": letters, digits, \".\", \"_\", \"-\" only, not \".\" or \"..\"";
  struct Case {
    std::string table, message;
  } cases[] = {
      {"id,fmax,slip,vm\n" + row, "1: the first line must be exactly id,fmax,slip,vm,ts"},
      // A header saved by a spreadsheet on Windows: CR LF, a byte-order mark.
      {"id,fmax,slip,vm,ts\r\n" + row, "1: the table has DOS line ends (CR LF); convert it to LF, e.g. with dos2unix"},
      {head + "p1,6,4.65,4.32,2.8\r\n", "2: the table has DOS line ends (CR LF); convert it to LF, e.g. with dos2unix"},
      {"\xEF\xBB\xBF" + head + row,
       "1: the table starts with a UTF-8 byte-order mark; save it without one (plain UTF-8 or ASCII)"},
      {"# points\n" + head + row, "1: the first line must be exactly id,fmax,slip,vm,ts"},
      {"", "1: empty table; the first line must be exactly id,fmax,slip,vm,ts"},
      {head + "# only a comment\n\n", "3: no rows after the header"},
      {head + row + "p2,6,4.65,4.32\n", "3: 4 fields; a row has exactly 5: id,fmax,slip,vm,ts"},
      {head + "p2,6,4.65,4.32,2.8,\n", "2: 6 fields; a row has exactly 5: id,fmax,slip,vm,ts"},
      // The program skips an empty line: every later answer would shift.
      {head + "p1,,4.65,4.32,2.8\n",
       "2: the fmax field is empty; give all four answers (the program skips empty lines)"},
      {head + "p1,6,4.65,4.32, \n", "2: the ts field is empty; give all four answers (the program skips empty lines)"},
      // A number quoted as in CSV is not a number to the program (quotes
  // elsewhere in a field are text that it refuses as typed).
      {head + "p1,\"6\",4.65,4.32,2.8\n", "2: the fmax field \"6\" is quoted; write the answer without quotes"},
      {head + "p1,6,\"4.65,4.32,2.8\"\n", "2: the slip field \"4.65 is quoted; write the answer without quotes"},
      {head + row + "\n" + "p1,5,1,1,1\n", "4: id \"p1\" repeats line 2"},
      {head + "a/b,6,4.65,4.32,2.8\n", "2: bad id \"a/b" + bad_id},
      {head + "..,6,4.65,4.32,2.8\n", "2: bad id \".." + bad_id},
      {head + ".,6,4.65,4.32,2.8\n", "2: bad id \"." + bad_id},
      {head + ",6,4.65,4.32,2.8\n", "2: bad id \"" + bad_id},
      {head + "a b,6,4.65,4.32,2.8\n", "2: bad id \"a b" + bad_id},
      // An id is a folder name and an argument: no option look, no name
      // too long for the file system.
      {head + "-,6,4.65,4.32,2.8\n", "2: id \"-\" starts with \"-\"; start it with a letter, a digit, \"_\" or \".\""},
      {head + "-p1,6,4.65,4.32,2.8\n", "2: id \"-p1\" starts with \"-\"; start it with a letter, a digit, \"_\" or \".\""},
      {head + id201 + ",6,4.65,4.32,2.8\n", "2: id of 201 characters; an id has at most 200"},
      {head + row + id256 + ",6,4.65,4.32,2.8\n", "3: id of 256 characters; an id has at most 200"},
      {head + "joblog,6,4.65,4.32,2.8\n", "2: id \"joblog\" is the name of a file of OUTDIR"},
      {head + "failed,6,4.65,4.32,2.8\n", "2: id \"failed\" is the name of a file of OUTDIR"},
      {head + ".batch,6,4.65,4.32,2.8\n", "2: id \".batch\" is the name of a file of OUTDIR"},
      // Answers too long for a group of rows on GNU parallel's command line.
      {head + row + "p2,6," + std::string(3000, '4') + ",4.32,2.8\n",
       "3: the slip field has 3000 characters; an answer has at most 100"},
      {head + "p1,6,4.65,4.32," + std::string(101, '1') + "\n",
       "2: the ts field has 101 characters; an answer has at most 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    TempDir scratch;
    scratch.write("t.csv", c.table);
    Ended end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
    EXPECT_EQ(end.code, 2);
    EXPECT_EQ(end.err, "slipvel-batch: " + scratch.file("t.csv") + ":" + c.message + "\n");
    EXPECT_FALSE(scratch.exists("out"));
  }
  // The longest id runs, and so does the longest answer.
  TempDir scratch;
  const std::string slip100 = "4.65" + std::string(96, '0');
  scratch.write("t.csv", head + id200 + ",6," + slip100 + ",4.32,2.8\n");
  Ended end = run_command({batch_tool(), scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 0) << end.err;
  expect_direct_run(scratch.file("out/" + id200), "6\n" + slip100 + "\n4.32\n2.8\n");
}

// A table may come on a pipe: "-" is standard input, and /dev/stdin or a
// FIFO is read once like a file; table.csv keeps its rows for a resume.
TEST(Batch, TableOnAPipe) {
  const std::string text = table_text({{"p1", "6", "4.65", "4.32", "2.8"}, {"p2", "5", "3.1", "2.9", "3.4"}});
  for (const char* name : {"-", "/dev/stdin"}) {
    SCOPED_TRACE(name);
    TempDir scratch;
    scratch.write("t.csv", text);
    Ended end = run_command({"/bin/sh", "-c", "cat \"$1\" | \"$2\" \"$3\" \"$4\"", "sh", scratch.file("t.csv"),
                             batch_tool(), name, scratch.file("out")},
                            {}, scratch);
    EXPECT_EQ(end.code, 0) << end.err;
    EXPECT_EQ(scratch.read("out/table.csv"), text);
    expect_direct_rows(scratch.file("out"), {{"p1", "6", "4.65", "4.32", "2.8"}, {"p2", "5", "3.1", "2.9", "3.4"}});
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

namespace {

// A job count that GNU parallel would take another way (0: as many jobs as
// it can start at once) is refused before anything runs.
TEST(Batch, JobCountsThatAreNotPositiveAreRefused) {
  for (const char* jobs : {"0", "-1", "two", "1.5", ""}) {
    SCOPED_TRACE(jobs);
    TempDir scratch;
    scratch.write("t.csv", table_text({{"example", "6", "4.65", "4.32", "2.8"}}));
    Ended end = run_command({batch_tool(), "-j", jobs, scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
    EXPECT_EQ(end.code, 2);
    EXPECT_EQ(end.err, std::string("slipvel-batch: -j needs a positive whole number, not \"") + jobs + "\"\n");
    EXPECT_FALSE(scratch.exists("out"));
  }
}

}  // namespace
