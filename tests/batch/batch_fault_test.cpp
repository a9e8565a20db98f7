// slipvel-batch meets faults as a user does: -S with this machine, an
// OUTDIR named "-", a second batch on the same OUTDIR, a full disk, folders
// and a job log damaged between runs, folders it may not write, and rows
// that end by a signal or fail on read-back. Nothing outside OUTDIR is ever
// touched, and a rerun completes every row byte for byte.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/batch_support.h"

namespace {

namespace fs = std::filesystem;

void expect_golden_rows(const std::string& outdir, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    for (const char* f : {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv", "parameter.csv"})
      EXPECT_TRUE(read_file(outdir + "/" + row.id + "/" + f) == golden(f)) << f;
  }
}

// -S with ":" alone: the rows run in OUTDIR as without -S (GNU parallel
// brings nothing back from this machine).
TEST(BatchFaults, ThisMachineGivenWithS) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(3);
  scratch.write("t.csv", table_text(rows));
  Ended end = run_command({batch_tool(), "-S", ":", scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 0) << end.err;
  expect_direct_rows(scratch.file("out"), rows);
  for (const Job& job : read_joblog(scratch.file("out/joblog"))) EXPECT_EQ(job.host, ":");
}

// OUTDIR "-" is a folder named "-" in the current one; the former current
// folder ($OLDPWD) and a row folder of the same name in it stay untouched.
TEST(BatchFaults, OutdirDashIsAFolderNamedDash) {
  TempDir scratch;
  fs::create_directories(scratch.file("before/p1"));
  fs::create_directories(scratch.file("here"));
  scratch.write("before/p1/data.txt", "mine\n");
  scratch.write("t.csv", table_text(example_rows(1)));
  Ended end = run_command({"/bin/sh", "-c", "cd \"$1/before\" && cd \"$1/here\" && exec \"$2\" \"$1/t.csv\" -",
                           "sh", scratch.path, batch_tool()},
                          {}, scratch);
  EXPECT_EQ(end.code, 0) << end.err;
  EXPECT_EQ(scratch.read("before/p1/data.txt"), "mine\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.file("before")), fs::directory_iterator()), 1);
  expect_direct_rows(scratch.file("here/-"), example_rows(1));
}

// A second batch on an OUTDIR in use is refused at once with one line that
// names the batch holding it; the first completes as if alone.
TEST(BatchFaults, SecondBatchOnTheSameOutdirIsRefused) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(20);
  scratch.write("t.csv", table_text(rows));
  std::string release = scratch.file("release");
  std::vector<std::string> command = {
      batch_beside(scratch, "if mkdir \"$0.held\" 2>/dev/null; then\n"
                            "  while [ ! -e '" + release + "' ]; do sleep 0.05; done\n"
                            "fi\nexec \"$SLIPVEL\"\n"),
      scratch.file("t.csv"), scratch.file("out")};
  pid_t first = start_command(command, {}, scratch);
  for (int k = 0; k < 2000 && !scratch.exists("bin/slipvel.held"); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string summary_state = file_state(scratch.file("out/summary.csv"));

  TempDir other;
  Ended second = run_command(command, {}, other, 20);
  EXPECT_EQ(second.code, 2);
  EXPECT_EQ(second.err.rfind("slipvel-batch: " + scratch.file("out") + " is in use by another batch (pid " +
                                 std::to_string(first) + " on ", 0),
            0u)
      << second.err;
  EXPECT_NE(second.err.find("; its rows may outlive it); one batch at a time per OUTDIR\n"), std::string::npos);
  EXPECT_EQ(count_lines(second.err), 1);
  EXPECT_EQ(file_state(scratch.file("out/summary.csv")), summary_state);

  scratch.write("release", "");
  Ended end = finish_command(first, scratch, 60);
  EXPECT_EQ(end.code, 0) << end.err;
  EXPECT_EQ(end.err, "");
  expect_golden_rows(scratch.file("out"), rows);
}

// Resume looks at the folders, not at the job log: a folder the user
// deleted or cut is run again, whatever the job log says, and a damaged job
// log stops nothing; complete folders are not touched.
TEST(BatchFaults, ResumeRunsEveryRowWithoutACompleteFolder) {
  TempDir scratch;
  std::vector<Row> rows = example_rows(5);
  scratch.write("t.csv", table_text(rows));
  std::vector<std::string> command = {batch_tool(), scratch.file("t.csv"), scratch.file("out")};
  ASSERT_EQ(run_command(command, {}, scratch).code, 0);
  std::string p1 = file_state(scratch.file("out/p1/slip_a.csv")), p5 = file_state(scratch.file("out/p5/slip_a.csv"));
  fs::remove_all(scratch.file("out/p2"));
  fs::remove(scratch.file("out/p3/slip_a.csv"));
  scratch.write("out/p4/parameter.csv", "");
  // A job log cut inside a line, then noise.
  std::string log = scratch.read("out/joblog");
  scratch.write("out/joblog", log.substr(0, log.size() / 2) + "\n\x01garbage\tx\n");

  Ended again = run_command(command, {}, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(again.err, "");
  expect_direct_rows(scratch.file("out"), rows);
  EXPECT_EQ(file_state(scratch.file("out/p1/slip_a.csv")), p1);
  EXPECT_EQ(file_state(scratch.file("out/p5/slip_a.csv")), p5);
  EXPECT_EQ(file_lines(scratch.file("out/summary.csv")).size(), 6u);
}

// A row that fails on read-back names slip_t.csv in its line (the whole
// report), and a program ended by a signal has its status and the signal's
// name; summary.csv and failed/ID/status.txt give the same statuses.
TEST(BatchFaults, FailedRowsReportTheirWholeEnd) {
  TempDir scratch;
  std::vector<Row> rows = {{"readback", "6", "100", "1", "1"}, {"segv", "6", "4.65", "4.32", "2.8"},
                           {"ok", "6", "4.65", "4.32", "2.8"}};
  scratch.write("t.csv", table_text(rows));
  // The stand-in crashes in the row segv, as a program would.
  std::string batch = batch_beside(scratch, "case $PWD in */segv) kill -SEGV $$ ;; esac\n"
                                            "exec \"$SLIPVEL\"\n");
  Ended end = run_command({batch, "-j", "1", scratch.file("t.csv"), scratch.file("out")}, {}, scratch);
  EXPECT_EQ(end.code, 1);
  EXPECT_EQ(end.err,
            "readback: status 134: invalid number: incomprehensible list input; "
            "apparent state: unit 10 named slip_t.csv; last format: list io; "
            "lately reading sequential formatted external IO\n"
            "segv: status 139: ended by signal 11 (SIGSEGV)\n"
            "slipvel-batch: 2 rows failed (folders in failed/)\n");
  auto summary = file_lines(scratch.file("out/summary.csv"));
  ASSERT_EQ(summary.size(), 4u);
  EXPECT_EQ(summary[1], "readback,134,,,,,,,,,,,");
  EXPECT_EQ(summary[2], "segv,139,,,,,,,,,,,");
  EXPECT_EQ(summary[3].rfind("ok,0,0.053,", 0), 0u);
  EXPECT_EQ(scratch.read("out/failed/segv/status.txt"), "139\n");
  expect_direct_run(scratch.file("out/failed/readback"), rows[0].answers());
}

// A folder this user may not write in: one line, status 2, nothing written.
// CI runs as root, for whom permissions do not bind: the batch runs as
// nobody in folders of root's.
TEST(BatchFaults, UnwritableOutdirOrParentIsRefusedWithOneLine) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  TempDir scratch;
  chmod(scratch.path.c_str(), 0755);
  std::vector<Row> rows = example_rows(3);
  scratch.write("t.csv", table_text(rows));
  fs::create_directory(scratch.file("empty"));
  ASSERT_EQ(run_command({batch_tool(), scratch.file("t.csv"), scratch.file("done")}, {}, scratch).code, 0);
  fs::remove_all(scratch.file("done/p2"));  // a rerun would have work to do
  std::string summary = scratch.read("done/summary.csv");
  const std::string why = " (permission or read-only file system)\n";
  struct Case {
    std::string outdir, message;
  } cases[] = {
      {scratch.file("new"), "cannot create " + scratch.file("new") + ": cannot write in " + scratch.path + why},
      {scratch.file("new/deeper"),
       "cannot create " + scratch.file("new/deeper") + ": cannot write in " + scratch.path + why},
      {scratch.file("empty"), "cannot write in " + scratch.file("empty") + why},
      {scratch.file("done"), "cannot write in " + scratch.file("done") + why},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outdir);
    TempDir log;
    chmod(log.path.c_str(), 0777);
    Ended end = run_command(as_nobody({batch_tool(), scratch.file("t.csv"), c.outdir}), {}, log);
    EXPECT_EQ(end.code, 2);
    EXPECT_EQ(end.err, "slipvel-batch: " + c.message);
  }
  EXPECT_FALSE(scratch.exists("new"));
  EXPECT_TRUE(fs::is_empty(scratch.file("empty")));
  EXPECT_EQ(scratch.read("done/summary.csv"), summary);
  EXPECT_FALSE(scratch.exists("done/p2"));
}

// A small tmpfs of root's own, unmounted at the end.
struct SmallDisk {
  TempDir dir;
  std::string skip;
  explicit SmallDisk(const std::string& size) {
    if (geteuid() != 0) skip = "mounting a tmpfs needs root";
    else if (mount("tmpfs", dir.path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
      skip = "cannot mount a tmpfs here";
  }
  void resize(const std::string& size) {
    ASSERT_EQ(mount("tmpfs", dir.path.c_str(), "tmpfs", MS_REMOUNT, ("size=" + size).c_str()), 0);
  }
  // Fills what is left with one file.
  void fill() {
    std::ofstream f(dir.file("filler"));
    std::string block(4096, 'x');
    while (f.write(block.data(), block.size())) {}
  }
  ~SmallDisk() {
    if (skip.empty()) umount2(dir.path.c_str(), MNT_DETACH);
  }
};

// A full disk: the rows that do not fit fail with their reason, those
// committed are whole, a summary or table that cannot be written is never
// left cut or empty, and once there is room the same command completes the
// batch.
TEST(BatchFaults, FullDiskLosesNoRow) {
  SmallDisk disk("2m");  // room for about four rows of 400 kB
  if (!disk.skip.empty()) GTEST_SKIP() << disk.skip;
  TempDir scratch;
  std::vector<Row> rows = example_rows(12);
  scratch.write("t.csv", table_text(rows));
  std::string outdir = disk.dir.file("out");
  std::vector<std::string> command = {batch_tool(), "-j", "1", scratch.file("t.csv"), outdir};

  Ended full = run_command(command, {}, scratch);
  EXPECT_EQ(full.code, 1);
  // Each failed row's line gives the program's report or why it is missing.
  for (const std::string& line : file_lines(scratch.file("command.err"))) {
    if (line.rfind("slipvel-batch: ", 0) == 0) continue;
    EXPECT_NE(line.find(": status "), std::string::npos) << line;
    EXPECT_EQ(line.find("no report"), std::string::npos) << line;
  }
  for (const Row& row : rows)
    if (fs::exists(outdir + "/" + row.id)) expect_golden_rows(outdir, {row});

  disk.resize("64m");
  Ended again = run_command(command, {}, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  expect_golden_rows(outdir, rows);
  std::string summary = read_file(outdir + "/summary.csv");
  ASSERT_EQ(file_lines(outdir + "/summary.csv").size(), rows.size() + 1);

  // A complete batch again on a full disk keeps its good summary.
  disk.fill();
  Ended on_full = run_command(command, {}, scratch);
  EXPECT_EQ(on_full.code, 1);
  EXPECT_EQ(on_full.err, "slipvel-batch: cannot write " + outdir + "/summary.csv (disk full?); the earlier one is kept\n");
  EXPECT_EQ(read_file(outdir + "/summary.csv"), summary);

  // A new batch whose table cannot be written is refused; with room again
  // the same command runs it.
  std::string second = disk.dir.file("second");
  Ended refused = run_command({batch_tool(), scratch.file("t.csv"), second}, {}, scratch);
  EXPECT_EQ(refused.code, 2);
  EXPECT_EQ(refused.err, "slipvel-batch: cannot write " + second + "/table.csv (disk full?)\n");
  EXPECT_FALSE(fs::exists(second + "/table.csv"));
  fs::remove(disk.dir.file("filler"));
  Ended fresh = run_command({batch_tool(), scratch.file("t.csv"), second}, {}, scratch);
  EXPECT_EQ(fresh.code, 0) << fresh.err;
  expect_golden_rows(second, rows);
}

// SIGKILL of the group when the disk is full, then a rerun with room: every
// row complete.
TEST(BatchFaults, ResumeAfterAFullDiskStopAndAKill) {
  SmallDisk disk("3m");
  if (!disk.skip.empty()) GTEST_SKIP() << disk.skip;
  TempDir scratch;
  std::vector<Row> rows = example_rows(30);
  scratch.write("t.csv", table_text(rows));
  std::string outdir = disk.dir.file("out");
  std::vector<std::string> command = {batch_tool(), scratch.file("t.csv"), outdir};
  pid_t batch = start_command(command, {}, scratch);
  // Killed once the disk is full and rows fail on it.
  for (int k = 0; k < 3000 && !(fs::exists(outdir + "/failed") && !fs::is_empty(outdir + "/failed")); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  killpg(batch, SIGKILL);
  finish_command(batch, scratch, 10);
  disk.resize("64m");
  Ended again = rerun_when_unlocked(command, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  expect_golden_rows(outdir, rows);
}

}  // namespace
