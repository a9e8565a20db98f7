// A large SRF as a user watches it being written: signals meanwhile (the
// target's name never holds a partial file, an older SRF there stays whole,
// the end signals remove the temporary and end the run by the signal), and
// the progress bar on a terminal.
#include <gtest/gtest.h>

#include <algorithm>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "support/tool_support.h"

namespace {

namespace fs = std::filesystem;

// 400 x 250 subfaults: about 400 MB of SRF, seconds of writing.
std::string large_fault() {
  std::string text = read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/fault.toml");
  text.replace(text.find("DLEN = 1.0"), 10, "DLEN = 0.05");
  text.replace(text.find("DWID = 1.0"), 10, "DWID = 0.048");
  return text;
}

// The temporaries of `target` in `dir`.
std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().find(".tmp-") != std::string::npos) out.push_back(e.path());
  return out;
}

// Waits until the run has written `bytes` into its temporary SRF.
bool wait_for_writing(const std::string& dir, uintmax_t bytes) {
  for (int k = 0; k < 3000; k++) {
    for (const auto& t : temporaries(dir)) {
      std::error_code ec;
      if (fs::file_size(t, ec) >= bytes && !ec) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

struct Started {
  TempDir dir, scratch;
  pid_t pid = -1;
  explicit Started(bool older) {
    dir.write("large.toml", large_fault());
    if (older) dir.write("large.srf", "an older SRF\n");
    pid = start_command(fault_command(dir.path, FaultRun{{"-j", "2", "large.toml"}}), {}, scratch);
  }
};

TEST(FaultSignal, KillMidFileLeavesNoPartialSrfAndKeepsTheOlder) {
  for (bool older : {false, true}) {
    SCOPED_TRACE(older ? "an older SRF there" : "no SRF there");
    Started run(older);
    ASSERT_TRUE(wait_for_writing(run.dir.path, 8u << 20)) << "the run never wrote 8 MiB";
    kill(run.pid, SIGKILL);
    Ended r = finish_command(run.pid, run.scratch, 30);
    EXPECT_EQ(r.signal, SIGKILL);
    if (older) EXPECT_EQ(run.dir.read("large.srf"), "an older SRF\n");
    else EXPECT_FALSE(run.dir.exists("large.srf"));
  }
}

// INT, TERM and HUP: the run stops within a chunk of subfaults, removes its
// temporary and ends by the signal, as a shell expects of an interrupted job.
TEST(FaultSignal, EndSignalsRemoveTheTemporaryAndEndByTheSignal) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    Started run(true);
    ASSERT_TRUE(wait_for_writing(run.dir.path, 4u << 20));
    auto sent = std::chrono::steady_clock::now();
    kill(run.pid, sig);
    Ended r = finish_command(run.pid, run.scratch, 30);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));  // liveness, not speed
    EXPECT_EQ(r.signal, sig);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(run.dir.read("large.srf"), "an older SRF\n");
    EXPECT_TRUE(temporaries(run.dir.path).empty());
  }
}

// Two runs at once on the same target: each writes its own temporary, and
// the name ends up holding one whole SRF, never a mix.
TEST(FaultSignal, TwoRunsAtOnceLeaveOneWholeFile) {
  TempDir dir, s1, s2;
  dir.write("small.toml", fault_data("small.toml"));
  dir.write("small_table.csv", fault_data("small_table.csv"));
  FaultRun run{{"small.toml"}};
  pid_t a = start_command(fault_command(dir.path, run), {}, s1);
  pid_t b = start_command(fault_command(dir.path, run), {}, s2);
  Ended ra = finish_command(a, s1), rb = finish_command(b, s2);
  // One after the other, or the second refused while the first holds the
  // target; never both writing.
  for (const Ended* r : {&ra, &rb}) {
    const Ended& other = r == &ra ? rb : ra;
    if (r->code == 2) {
      EXPECT_EQ(other.code, 0) << other.err;
      EXPECT_NE(r->err.find("small.srf: another run (process "), std::string::npos) << r->err;
    } else {
      EXPECT_EQ(r->code, 0) << r->err;
    }
  }
  EXPECT_TRUE(dir.read("small.srf") == fault_golden("small-2.0.srf"));
  EXPECT_TRUE(temporaries(dir.path).empty());
  EXPECT_FALSE(dir.exists("small.srf.lock"));
}

// A second run on a target that a first run is writing (here the CSV, under
// another SRF name) is refused at once, naming the target and the first
// run's process; it writes nothing, and the first run's files are whole.
TEST(FaultSignal, ASecondRunOnATargetIsRefusedNamingTheFirst) {
  TempDir dir, s1;
  std::string text = read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/fault.toml");
  text.replace(text.find("DLEN = 1.0"), 10, "DLEN = 0.1");
  text.replace(text.find("DWID = 1.0"), 10, "DWID = 0.1");
  dir.write("big.toml", text);  // 24000 subfaults: a second or so on one thread
  pid_t a = start_command(fault_command(dir.path, FaultRun{{"-j", "1", "--csv", "big.csv", "big.toml"}}), {}, s1);
  ASSERT_TRUE(wait_for_writing(dir.path, 1));
  Ended b = run_fault(dir.path, {"-j", "1", "-o", "other.srf", "--csv", "big.csv", "big.toml"});
  EXPECT_EQ(b.code, 2);
  EXPECT_EQ(b.err, "slipvel-fault: big.csv: another run (process " + std::to_string(a) + ") is writing it\n");
  Ended ra = finish_command(a, s1);
  ASSERT_EQ(ra.code, 0) << ra.err;
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"big.csv", "big.srf", "big.toml"}));
  std::string csv = dir.read("big.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 24001);
}

}  // namespace

namespace {

// On a terminal a run that takes more than a moment shows a progress bar on
// standard error, and clears its line before the summary.
TEST(FaultProgress, BarOnATerminalClearedBeforeTheSummary) {
  TempDir dir;
  dir.write("large.toml", large_fault());
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.path.c_str()) != 0) _exit(126);
    execl(SLIPVEL_FAULT_BIN, "slipvel-fault", "-j", "2", "large.toml", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  char buf[4096];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) seen.append(buf, static_cast<size_t>(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
  EXPECT_NE(seen.find("\r["), std::string::npos) << "no bar";
  EXPECT_NE(seen.find("100% 100000/100000 subfaults"), std::string::npos);
  size_t summary = seen.find("subfaults: 100000");
  ASSERT_NE(summary, std::string::npos);
  EXPECT_EQ(seen.substr(summary - 4, 4), "\r\033[K") << "the bar's line is cleared first";
}

// Into a file or a pipe there is no bar: standard error stays empty.
TEST(FaultProgress, NoBarIntoAFile) {
  TempDir dir;
  dir.write("large.toml", large_fault());
  Ended r = run_fault(dir.path, {"-j", "2", "large.toml"});
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
}

}  // namespace
