// slipvel-batch under the ends that cut or lose rows: committed folders
// damaged between runs, programs that end with 0 and leave no whole files,
// GNU parallel killed under the batch, a machine of -S that takes no login,
// signals in the batch's first moments. A folder OUTDIR/ID is a whole run or
// is not there, and the same command again completes the batch.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "support/batch_support.h"

namespace {

namespace fs = std::filesystem;

// Rows whose program ended with 0 and whose files are whole: the ids with
// status 0 in summary.csv.
std::vector<std::string> listed_complete(const std::string& outdir) {
  std::vector<std::string> ids;
  for (const std::string& line : file_lines(outdir + "/summary.csv"))
    if (line.find(",0,") != std::string::npos) ids.push_back(line.substr(0, line.find(',')));
  return ids;
}

// A committed row's file emptied, cut inside a record, cut at a record end,
// or left with its header only: the same command again runs that row, and
// leaves the whole ones as they are.
TEST(BatchEnds, ResumeChecksTheContentsOfCommittedRows) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(5);
  scratch.write("t.csv", table_text(rows));
  std::vector<std::string> command = {batch_tool(), scratch.file("t.csv"), scratch.file("out")};
  ASSERT_EQ(run_command(command, {}, scratch).code, 0);
  std::string p5 = file_state(scratch.file("out/p5/slip_a.csv"));
  auto cut = [&](const std::string& file, size_t keep) {
    scratch.write(file, scratch.read(file).substr(0, keep));
  };
  cut("out/p1/slip_a.csv", 0);
  cut("out/p2/slip_t.csv", 30000);                                                       // inside a record
  cut("out/p3/slip_vel-5triangle.csv", scratch.read("out/p3/slip_vel-5triangle.csv").rfind('\n', 5000) + 1);
  cut("out/p4/parameter.csv", scratch.read("out/p4/parameter.csv").find('\n') + 1);  // the header only

  Ended again = run_command(command, {}, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(again.err, "");
  expect_direct_rows(scratch.file("out"), rows);
  EXPECT_EQ(file_state(scratch.file("out/p5/slip_a.csv")), p5);
}

// A program that ends with 0 but leaves no whole files (a stand-in on PATH):
// none written, or slip_a.csv cut after the run. The row goes to failed/
// with its line, never committed; summary.csv does not list it complete.
TEST(BatchEnds, StatusZeroWithoutWholeFilesIsNoCommit) {
  TempDir scratch;
  std::vector<Row> rows = {{"none", "6", "4.65", "4.32", "2.8"}, {"cut", "6", "4.65", "4.32", "2.8"},
                           {"ok", "6", "4.65", "4.32", "2.8"}};
  scratch.write("t.csv", table_text(rows));
  std::string batch = batch_beside(scratch,
                                   "case $PWD in\n"
                                   "  */none) cat >/dev/null; exit 0 ;;\n"
                                   "  */cut) \"$SLIPVEL\" && truncate -s 100000 slip_a.csv; exit ;;\n"
                                   "esac\n"
                                   "exec \"$SLIPVEL\"\n");
  Ended end = run_command({batch, "-j", "1", scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 1);
  EXPECT_EQ(end.err,
            "none: status 0: no report (its files are not whole)\n"
            "cut: status 0: no report (its files are not whole)\n"
            "slipvel-batch: 2 rows failed (folders in failed/)\n");
  EXPECT_FALSE(scratch.exists("out/none"));
  EXPECT_FALSE(scratch.exists("out/cut"));
  EXPECT_TRUE(scratch.exists("out/failed/none"));
  EXPECT_EQ(listed_complete(scratch.file("out")), std::vector<std::string>{"ok"});
  auto summary = file_lines(scratch.file("out/summary.csv"));
  ASSERT_EQ(summary.size(), 4u);
  EXPECT_EQ(summary[1], "none,?,,,,,,,,,,,");
}

// GNU parallel killed under the batch while rows run: the batch waits for
// the rows before it cleans up, lists no row complete without its folder,
// and the same command again completes every row.
TEST(BatchEnds, ParallelKilledFirst) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(80);
  scratch.write("t.csv", table_text(rows));
  std::string outdir = scratch.file("out");
  std::vector<std::string> command = {batch_tool(), "-j", "2", scratch.file("t.csv"), outdir};
  pid_t batch = start_command(command, {}, scratch);
  // GNU parallel: the batch's child that runs perl's parallel script.
  pid_t parallel = 0;
  for (int k = 0; k < 2000 && !parallel; k++) {
    for (const auto& p : fs::directory_iterator("/proc")) {
      std::string name = p.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::string stat = read_file(p.path() / "stat"), cmd = read_file(p.path() / "cmdline");
      size_t paren = stat.rfind(')');
      if (paren == std::string::npos) continue;
      pid_t ppid = std::atoi(stat.c_str() + paren + 4);
      if (ppid == batch && cmd.find("parallel") != std::string::npos && cmd.find("--joblog") != std::string::npos)
        parallel = std::stoi(name);
    }
    if (!parallel) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(parallel, 0);
  for (int k = 0; k < 2000 && !fs::exists(outdir + "/p3"); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(parallel, SIGKILL);
  Ended end = finish_command(batch, scratch, 60);
  EXPECT_EQ(end.code, 1) << end.err;
  EXPECT_EQ(end.err.find("could not be made"), std::string::npos) << end.err;
  for (const std::string& id : listed_complete(outdir)) {
    SCOPED_TRACE(id);
    expect_direct_run(outdir + "/" + id, example_answers);
  }
  Ended again = rerun_when_unlocked(command, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  expect_direct_rows(outdir, rows);
}

// A machine of -S that takes no login is named before anything is run.
TEST(BatchEnds, MachineWithoutLoginIsNamed) {
  TempDir scratch;
  scratch.write("t.csv", table_text(example_rows(2)));
  Ended end = run_command({batch_tool(), "-S", ":,nosuchhost.invalid", scratch.file("t.csv"), scratch.file("out")},
                          {"PARALLEL_SSH=ssh -o BatchMode=yes -o ConnectTimeout=5"}, scratch);
  EXPECT_EQ(end.code, 2);
  EXPECT_EQ(end.err, "slipvel-batch: cannot run rows on nosuchhost.invalid (no login there; check -S and ssh)\n");
  EXPECT_FALSE(scratch.exists("out"));
}

// A termination request in the batch's first moments (reading the table,
// checking a large resume's folders): the batch ends by it, and nothing of
// it holds OUTDIR afterwards: the next batch is not refused.
TEST(BatchEnds, SignalInTheFirstMoments) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(300);
  scratch.write("t.csv", table_text(rows));
  std::vector<std::string> command = {batch_tool(), scratch.file("t.csv"), scratch.file("out")};
  // A batch of 300 rows done, made from one: a resume with one row to run.
  scratch.write("one.csv", table_text({rows[0]}));
  ASSERT_EQ(run_command({batch_tool(), scratch.file("one.csv"), scratch.file("out")}, {}, scratch).code, 0);
  for (size_t k = 1; k + 1 < rows.size(); k++)
    fs::copy(scratch.file("out/p1"), scratch.file("out/" + rows[k].id), fs::copy_options::recursive);
  scratch.write("out/table.csv", table_text(rows));
  for (int delay_ms : {0, 50, 150, 300, 450, 600}) {
    SCOPED_TRACE(delay_ms);
    fs::remove(scratch.file("out/summary.csv"));
    pid_t batch = start_command(command, {}, scratch);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    kill(batch, SIGTERM);
    Ended end = finish_command(batch, scratch, 60);
    EXPECT_EQ(end.signal, SIGTERM) << end.code << end.err;
    // Once it held OUTDIR (its note in the lock), it wrote the summary.
    bool held = scratch.read("out/.batch/lock").rfind("pid " + std::to_string(batch) + " ", 0) == 0;
    EXPECT_TRUE(!held || scratch.exists("out/summary.csv"));
    Ended next = run_command(command, {}, scratch);
    EXPECT_NE(next.code, 2) << next.err;
    fs::remove_all(scratch.file("out/p300"));
  }
}

}  // namespace
