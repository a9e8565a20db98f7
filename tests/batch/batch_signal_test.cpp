// End signals on slipvel-batch, to the batch alone (a supervisor, timeout)
// and to its process group (Ctrl-C, a closed terminal), and SIGKILL of the
// group: no row starts after the signal, the running ones end with their
// complete records, the summary is written, the batch ends by the signal,
// and the same command again completes every row as a direct run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

#include "support/batch_support.h"

namespace {

namespace fs = std::filesystem;

// Whether the process's status shows `sig` in the signal set `key` (SigCgt).
bool catches(pid_t pid, const std::string& key, int sig) {
  std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find(key + ":\t");
  return at != std::string::npos &&
         std::stoull(status.substr(at + key.size() + 2, 16), nullptr, 16) & (1ull << (sig - 1));
}

// The program running in folder `row` once it handles interrupts (one that
// has not yet taken the signal would simply die of it); its pid, or 0 if
// none ran within 20 s. The stand-in that starts it bears its name: the
// program is known by its file.
pid_t row_program(const std::string& row) {
  const fs::path program = fs::canonical(build_dir() + "/slipvel");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& p : fs::directory_iterator("/proc")) {
      std::string name = p.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code ec;
      if (fs::read_symlink(p.path() / "exe", ec) != program) continue;
      if (fs::read_symlink(p.path() / "cwd", ec) != row) continue;
      pid_t pid = std::stoi(name);
      if (catches(pid, "SigCgt", SIGINT)) return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

// Each file is a prefix of the example run's file that ends with a record.
void expect_complete_records(const std::string& dir) {
  for (const char* f : {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv", "parameter.csv"}) {
    if (!fs::exists(dir + "/" + f)) continue;
    std::string text = read_file(dir + "/" + f);
    EXPECT_EQ(golden(f).compare(0, text.size(), text), 0) << f;
    EXPECT_TRUE(text.empty() || text.back() == '\n') << f;
  }
}

// The rows' folders committed in OUTDIR, by id.
std::map<std::string, std::string> committed(const std::string& outdir, const std::vector<Row>& rows) {
  std::map<std::string, std::string> c;
  for (const Row& row : rows)
    if (fs::exists(outdir + "/" + row.id)) c[row.id] = file_state(outdir + "/" + row.id + "/slip_a.csv");
  return c;
}

void expect_all_golden(const std::string& outdir, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    for (const char* f : {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv", "parameter.csv"})
      EXPECT_TRUE(read_file(outdir + "/" + row.id + "/" + f) == golden(f)) << f;
    EXPECT_EQ(read_file(outdir + "/" + row.id + "/stderr.txt"), "");
  }
}

// The stand-in holds back the answers of the first row it starts (until a
// signal ends its sleep) and runs every other row, and every later batch,
// at once.
const char* hold_first_row =
    "if mkdir \"$0.held\" 2>/dev/null; then\n"
    "  pwd >\"$0.held/row\"\n"
    "  trap : INT TERM HUP\n"
    "  { sleep 60; cat; } | \"$SLIPVEL\"\n"
    "else\n"
    "  exec \"$SLIPVEL\"\n"
    "fi\n";

// The folder of the held row, once its program waits at its first prompt.
std::string held_row(const TempDir& scratch, pid_t batch) {
  std::string marker = scratch.file("bin/slipvel.held/row");
  for (int k = 0; k < 2000 && read_file(marker).empty(); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string dir = read_file(marker);
  if (!dir.empty()) dir.pop_back();  // the line end of pwd
  if (dir.empty() || row_program(dir) == 0) {
    killpg(batch, SIGKILL);
    return "";
  }
  return dir;
}

struct SignalCase {
  int sig;
  bool group;  // to the batch's process group, else to the batch alone
  const char* why;
};

class BatchSignal : public testing::TestWithParam<SignalCase> {};

TEST_P(BatchSignal, EndsCleanlyAndTheSameCommandResumes) {
  const SignalCase c = GetParam();
  SCOPED_TRACE(c.why);
  TempDir scratch;
  std::vector<Row> rows = example_rows(60);
  scratch.write("t.csv", table_text(rows));
  std::string outdir = scratch.file("out");
  std::vector<std::string> command = {batch_beside(scratch, hold_first_row), scratch.file("t.csv"), outdir};

  pid_t batch = start_command(command, {}, scratch);
  std::string held_dir = held_row(scratch, batch);
  ASSERT_NE(held_dir, "") << "no row was seen running";
  std::string held = fs::path(held_dir).filename();
  c.group ? killpg(batch, c.sig) : kill(batch, c.sig);
  Ended end = finish_command(batch, scratch, 30);
  EXPECT_FALSE(end.timed_out);
  EXPECT_EQ(end.signal, c.sig) << "exit " << end.code << ": " << end.err;

  // No row starts after the end: nothing is running, no folder comes.
  auto at_end = committed(outdir, rows);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(committed(outdir, rows), at_end);
  EXPECT_FALSE(fs::exists(outdir + "/.batch/running"));
  EXPECT_LT(at_end.size(), rows.size());

  // The held row ended as the program ends on an interrupt, its folder kept
  // in failed/ with its status.
  EXPECT_EQ(read_file(outdir + "/failed/" + held + "/stderr.txt"), "Interrupt\n");
  EXPECT_EQ(read_file(outdir + "/failed/" + held + "/status.txt"), "1\n");
  expect_complete_records(outdir + "/failed/" + held);

  // The summary: 0 for the committed rows, empty for the rows not run, and
  // for the rows the signal ended (the held one, and any that another job
  // was running) 1, or 130 for a program that had not yet set up its
  // handler, each with its folder in failed/ and its line.
  auto summary = file_lines(outdir + "/summary.csv");
  ASSERT_EQ(summary.size(), rows.size() + 1);
  int ended = 0;
  for (size_t k = 0; k < rows.size(); k++) {
    const std::string& id = rows[k].id;
    std::string status = summary[k + 1].substr(id.size() + 1, summary[k + 1].find(',', id.size() + 1) - id.size() - 1);
    EXPECT_EQ(summary[k + 1].rfind(id + ",", 0), 0u);
    if (at_end.count(id)) {
      EXPECT_EQ(status, "0") << id;
    } else if (fs::exists(outdir + "/failed/" + id)) {
      EXPECT_TRUE(status == "1" || (status == "130" && id != held)) << id << ": " << status;
      EXPECT_NE(end.err.find(id + ": status " + status + ": " +
                             (status == "1" ? "Interrupt\n" : "ended by signal 2 (SIGINT)\n")),
                std::string::npos) << end.err;
      ended++;
    } else {
      EXPECT_EQ(status, "") << id;
    }
  }
  std::string unrun = std::to_string(rows.size() - at_end.size() - ended);
  EXPECT_NE(end.err.find("slipvel-batch: " + std::to_string(ended) + " rows failed (folders in failed/)\n" +
                         "slipvel-batch: " + unrun + " rows not run; the same command again resumes\n"),
            std::string::npos)
      << end.err;

  Ended again = run_command(command, {}, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  expect_all_golden(outdir, rows);
  EXPECT_TRUE(fs::is_empty(outdir + "/failed"));
  for (const auto& [id, before] : at_end) EXPECT_EQ(file_state(outdir + "/" + id + "/slip_a.csv"), before) << id;
}

INSTANTIATE_TEST_SUITE_P(
    EveryEndSignal, BatchSignal,
    testing::Values(SignalCase{SIGINT, true, "Ctrl-C: the terminal interrupts the whole group"},
                    SignalCase{SIGINT, false, "an interrupt to the batch alone"},
                    SignalCase{SIGTERM, false, "timeout or a supervisor: TERM to the batch alone"},
                    SignalCase{SIGTERM, true, "TERM to the group"},
                    SignalCase{SIGHUP, true, "a closed terminal: HUP to the group"},
                    SignalCase{SIGHUP, false, "HUP to the batch alone"}));

// SIGKILL of the batch's group at three moments: its rows live on in groups
// of their own, so OUTDIR stays locked until they end; then the same command
// completes every row, byte for byte.
TEST(BatchKill, ResumeAfterKillOfTheGroup) {
  struct Moment {
    int committed;  // folders in place before the kill; -1: while a row is held
    const char* why;
  } moments[] = {
      {-1, "while the first row waits at its prompt, before any commit"},
      {5, "a few rows in"},
      {55, "near the end"},
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.why);
    TempDir scratch;
    std::vector<Row> rows = example_rows(60);
    scratch.write("t.csv", table_text(rows));
    std::string outdir = scratch.file("out");
    // The held row waits for a file; the others run at once.
    std::string release = scratch.file("release");
    std::string body = m.committed < 0 ? "if mkdir \"$0.held\" 2>/dev/null; then\n"
                                         "  pwd >\"$0.held/row\"\n"
                                         "  while [ ! -e '" + release + "' ]; do sleep 0.05; done\n"
                                         "fi\nexec \"$SLIPVEL\"\n"
                                       : "exec \"$SLIPVEL\"\n";
    std::vector<std::string> command = {batch_beside(scratch, body), scratch.file("t.csv"), outdir};
    pid_t batch = start_command(command, {}, scratch);
    if (m.committed < 0) {
      for (int k = 0; k < 2000 && read_file(scratch.file("bin/slipvel.held/row")).empty(); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
      for (int k = 0; k < 6000 && committed(outdir, rows).size() < size_t(m.committed); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    killpg(batch, SIGKILL);
    Ended killed = finish_command(batch, scratch, 10);
    EXPECT_EQ(killed.signal, SIGKILL);

    if (m.committed < 0) {
      // The held row still runs: a second batch is refused at once.
      TempDir other;
      Ended refused = run_command(command, {}, other);
      EXPECT_EQ(refused.code, 2);
      EXPECT_EQ(refused.err.rfind("slipvel-batch: " + outdir + " is in use by another batch (pid " +
                                      std::to_string(batch) + " on ", 0),
                0u)
          << refused.err;
      EXPECT_EQ(count_lines(refused.err), 1);
      scratch.write("release", "");
    }
    // Rows that outlived the batch end soon; until then OUTDIR is locked.
    Ended again = rerun_when_unlocked(command, scratch);
    EXPECT_EQ(again.code, 0) << again.err;
    expect_all_golden(outdir, rows);
    EXPECT_EQ(file_lines(outdir + "/summary.csv").size(), rows.size() + 1);
  }
}

}  // namespace
