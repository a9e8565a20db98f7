// Every kind of end of a run, as a user meets them: a file-size limit, a
// closed terminal, SIGKILL, a signal during the boundary search, a signal
// before a failure, end signals blocked or coming together, a standard error
// that cannot be opened again. Nothing cut, nothing lost, and the first
// cause decides the message and the status.
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "support/failure_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// Starts a run in `dir` with `answers` from a file, standard output to
// /dev/null and standard error into a file of `io`.
pid_t start_quiet(const TempDir& dir, const TempDir& io, const std::string& answers,
                  const RunOptions& opt = {}) {
  io.write("in", answers);
  int in = open(io.file("in").c_str(), O_RDONLY | O_CLOEXEC);
  int out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = start_slipvel(dir.path, in, out, err, opt);
  for (int fd : {in, out, err}) close(fd);
  return pid;
}

// Whether the run has taken its end signals (SIGTERM among the caught ones,
// as the kernel shows them), so that a signal now meets its handler.
bool signals_taken(pid_t pid) {
  std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find("SigCgt:\t");
  return at != std::string::npos && std::stoull(status.substr(at + 8, 16), nullptr, 16) >> (SIGTERM - 1) & 1;
}

// Starts a run as start_quiet does and waits until it has taken its end
// signals (at most a second).
pid_t start_signalled(const TempDir& dir, const TempDir& io, const std::string& answers) {
  pid_t pid = start_quiet(dir, io, answers);
  for (int k = 0; k < 5000 && !signals_taken(pid); k++)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  return pid;
}

// How long a whole example run takes here, for signals at random moments
// within it.
std::chrono::microseconds run_length() {
  TempDir dir, io;
  pid_t pid = start_signalled(dir, io, example_answers);
  auto t0 = Clock::now();
  wait_for(pid);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0);
}

// A file of a run that ended early: this run's records from the start, the
// last one whole.
void expect_whole_files(const TempDir& dir) {
  for (const char* f : output_files)
    if (dir.exists(f)) expect_complete_records(dir.read(f), reference().files.at(f), f);
}

// `ulimit -f` as a shell user sets it, small enough to stop slip_a.csv: the
// program reports the failed write and keeps whole records, never dies by
// SIGXFSZ inside one.
TEST(RunEnd, FileSizeLimitStopsTheSpectra) {
  TempDir dir;
  TempDir scratch;
  Ended e = run_command({"/bin/bash", "-c",
                         "cd '" + dir.path + "' && ulimit -f 100 && printf '6\\n4.65\\n4.32\\n2.8\\n' | " +
                             SLIPVEL_BIN + " > /dev/null 2> err.txt"},
                        {}, scratch);
  EXPECT_EQ(e.code, 134);  // the abnormal end, as a shell reports it
  EXPECT_EQ(dir.read("err.txt"), report("write: File too large", file_unit + "slip_a.csv",
                                        slip_a_row, "writing"));
  expect_example_files(dir, {"slip_t.csv"});
  std::string slip_a = dir.read("slip_a.csv");
  EXPECT_GT(slip_a.size(), 90000u);
  EXPECT_LE(slip_a.size(), 102400u);
  expect_complete_records(slip_a, reference().files.at("slip_a.csv"), "slip_a.csv");
}

// Sends `sig` `tries` times at random moments of a run writing files (the
// moments drawn from `seed`) and hands each ended run to `check`.
template <class Check>
void at_random_moments(int sig, int tries, unsigned seed, Check check) {
  auto length = run_length();
  std::mt19937 random(seed);
  for (int k = 0; k < tries; k++) {
    SCOPED_TRACE("try " + std::to_string(k));
    TempDir dir, io;
    auto delay = std::chrono::microseconds(random() % (length.count() + 1));
    pid_t pid = start_signalled(dir, io, example_answers);
    std::this_thread::sleep_for(delay);
    kill(pid, sig);
    check(dir, io, wait_for(pid, 10));
  }
}

// A hangup (the terminal closed) at random moments of a run writing files:
// the termination request's message and status, whole records only.
TEST(RunEnd, HangupAtRandomMoments) {
  int ended_early = 0;
  at_random_moments(SIGHUP, 100, 27, [&](const TempDir& dir, const TempDir& io, const RunResult& r) {
    if (!r.exited) {
      ADD_FAILURE() << "ended by signal " << r.code;
    } else if (r.code == 0) {
      EXPECT_EQ(io.read("err"), "");
      expect_example_files(dir);
    } else {
      ended_early++;
      EXPECT_EQ(r.code, 1);
      EXPECT_EQ(io.read("err"), "Killed\n");
      expect_whole_files(dir);
    }
  });
  EXPECT_GT(ended_early, 20);  // most signals come during the run
}

// SIGKILL, which no program sees, at random moments: every file holds this
// run's records from its start; a write stopped by the kill keeps whole
// pages, so a file ends at a record end or at a multiple of the page size.
TEST(RunEnd, KillAtRandomMoments) {
  int inside = 0;
  at_random_moments(SIGKILL, 200, 2027, [&](const TempDir& dir, const TempDir&, const RunResult&) {
    for (const char* f : output_files) {
      if (!dir.exists(f)) continue;
      std::string text = dir.read(f);
      EXPECT_TRUE(starts_with(reference().files.at(f), text)) << f;
      bool whole = text.empty() || text.back() == '\n';
      EXPECT_TRUE(whole || text.size() % 4096 == 0) << f << " ends inside a record at " << text.size();
      inside += !whole;
    }
  });
  std::printf("files ending inside a record at a page boundary: %d of 200 kills\n", inside);
}

// An end signal during a long boundary search (fmax = 1e7 searches some 2^24
// trials and then fails) ends the run at once by its message and status,
// also when whoever started the run left the end signals blocked.
TEST(RunEnd, SignalDuringTheSearch) {
  for (bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "started with the end signals blocked" : "end signals open");
    TempDir dir, io;
    RunOptions opt;
    opt.block_end_signals = blocked;
    pid_t pid = start_quiet(dir, io, "1e7\n4.65\n4.32\n2.8\n", opt);
    // Its handlers first (a sanitizer build starts slowly), then 50 ms into
    // the search, which the answers from a file reach at once.
    for (int k = 0; k < 5000 && !signals_taken(pid); k++)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto sent = Clock::now();
    kill(pid, SIGTERM);
    RunResult r = wait_for(pid, 10);
    EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(200));
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(io.read("err"), "Killed\n");
    EXPECT_TRUE(listing(dir).empty());
  }
}

// Two end signals together, the termination request sent first: its
// message and status stand, whatever order the system runs the handlers in.
// And a run started with the end signals blocked still ends by one that
// comes while it waits for an answer.
TEST(RunEnd, FirstOfTwoSignalsAndBlockedSignals) {
  const struct {
    bool blocked;
    int second;
  } cases[] = {{false, SIGFPE}, {false, SIGINT}, {true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.second) + (c.blocked ? " blocked" : ""));
    TempDir dir;
    RunOptions opt;
    opt.input = "6\n";
    opt.hold_input = true;
    opt.block_end_signals = c.blocked;
    int in[2], out[2], err[2];
    ASSERT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
    pid_t pid = start_slipvel(dir.path, in[0], out[1], err[1], opt);
    close(in[0]), close(out[1]), close(err[1]);
    ASSERT_GT(write(in[1], "6\n", 2), 0);
    std::string seen;
    ASSERT_TRUE(wait_until(pid, [&] { return (seen += drain(out[0])).find("Enter slip") != std::string::npos; }));
    kill(pid, SIGTERM);
    if (c.second) kill(pid, c.second);
    RunResult r = wait_for(pid, 10);
    close(in[1]);
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(drain(err[0]), "Killed\n");
    close(out[0]), close(err[0]);
  }
}

// Standard error a terminal that the run may not open again (root's pty,
// the run as nobody): the report still reaches it, written on descriptor 2.
TEST(RunEnd, ReportOnATerminalThatCannotBeReopened) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  int master, slave;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fchmod(slave, 0600);  // root's alone: nobody cannot open it
  TempDir dir;
  int in[2], out[2];
  ASSERT_EQ(pipe(in) | pipe(out), 0);
  ASSERT_EQ(write(in[1], "abc\n", 4), 4);
  close(in[1]);
  RunOptions opt;
  opt.uid = 65534;
  pid_t pid = start_slipvel(dir.path, in[0], out[1], slave, opt);
  close(in[0]), close(out[1]), close(slave);
  RunResult r = wait_for(pid, 10);
  EXPECT_TRUE(aborted(r));
  std::string seen;
  for (int k = 0; k < 100 && seen.find("IO\r\n") == std::string::npos; k++) {
    seen += drain(master);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string text;
  for (char c : seen)
    if (c != '\r') text += c;  // the terminal's own line ends
  EXPECT_EQ(text, report("invalid number" + std::string(malformed), "unit 5 (unnamed)", "list io",
                         "reading"));
  close(master), close(out[0]);
}

// Each file is created as the user's umask allows, for others to read.
TEST(RunEnd, FilesCreatedAsTheUmaskAllows) {
  TempDir dir;
  Ended e = run_shell(std::string("umask 027; printf '6\\n4.65\\n4.32\\n2.8\\n' | ") + SLIPVEL_BIN +
                          " > /dev/null",
                      dir);
  ASSERT_EQ(e.code, 0);
  for (const char* f : output_files) {
    struct stat st;
    ASSERT_EQ(stat(dir.file(f).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << f;
  }
}

// ts = 2e38: tr = (ts + ts) / 3 is formed in double before its rounding,
// so it is finite although ts + ts in float is not.
TEST(RunEnd, LargeTsKeepsTrFinite) {
  TempDir dir;
  RunResult r = run_slipvel(dir.path, "6\n4.65\n4.32\n2e38\n");
  EXPECT_NE(r.out.find(" ts, tr =   1.99999994E+38 (s)  1.33333326E+38 (s)\n"), std::string::npos)
      << r.out;
}

// An empty line's CR LF that arrives in two writes is one line end: the
// answers after it are read as usual.
TEST(RunEnd, SplitCarriageReturnLineFeed) {
  TempDir dir;
  int in[2], out[2], err[2];
  ASSERT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
  pid_t pid = start_slipvel(dir.path, in[0], out[1], err[1]);
  close(in[0]), close(out[1]), close(err[1]);
  ASSERT_EQ(write(in[1], "\r", 1), 1);
  // The run has read the carriage return and waits for more.
  std::string out_text;
  ASSERT_TRUE(wait_until(pid, [&] { return (out_text += drain(out[0])).find("Enter fmax") != std::string::npos; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::string rest = std::string("\n") + example_answers;
  ASSERT_EQ(write(in[1], rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  close(in[1]);
  int flags = fcntl(out[0], F_GETFL);
  fcntl(out[0], F_SETFL, flags & ~O_NONBLOCK);
  char buf[65536];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) out_text.append(buf, n);
  RunResult r = wait_for(pid, 30);
  EXPECT_TRUE(exited_with(r, 0)) << drain(err[0]);
  EXPECT_TRUE(same_text(out_text, reference().out));
  expect_example_files(dir);
  close(out[0]), close(err[0]);
}

// A file that cannot be opened right after the read-back (a dangling link
// as slip_vel-5triangle.csv): the report tells of the open, on the file
// channel, after the read-back's reading.
TEST(RunEnd, OpenFailsAfterTheReadBack) {
  TempDir dir;
  ASSERT_EQ(symlink("/nonexistent-folder/file", dir.file("slip_vel-5triangle.csv").c_str()), 0);
  RunResult r = run_slipvel(dir.path, example_answers);
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(r.err, report("open: No such file or directory", file_unit + "slip_vel-5triangle.csv",
                          "list io", "reading"));
  expect_example_files(dir, {"slip_t.csv", "slip_a.csv"});
}

}  // namespace
