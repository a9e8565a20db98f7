// The frozen contract beyond the example run: a table of answer sets spread
// over the branches of the model, each run end to end and compared with the
// stored sha256 digests of everything it leaves behind; then the few ends
// that the table cannot reach.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <sstream>

#include "support/run_program.h"

namespace {

const char* const files[] = {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv",
                             "parameter.csv"};

// sha256 of a file as sha256sum prints it, or "-" for a missing file.
std::string digest(const std::string& path) {
  if (access(path.c_str(), F_OK) != 0) return "-";
  TempDir scratch;
  Ended e = run_command({"/usr/bin/sha256sum", path}, {}, scratch);
  size_t n = e.out.find(' ');
  return e.code == 0 && n == 64 ? e.out.substr(0, 64) : "?";
}

// One line per case: name, how the run ended, digests of stdout, stderr
// and the four files.
std::map<std::string, std::string> stored_digests() {
  std::map<std::string, std::string> d;
  std::istringstream s(golden("digests.txt"));
  for (std::string line; std::getline(s, line);)
    if (!line.empty() && line[0] != '#') d[line.substr(0, line.find(' '))] = line;
  return d;
}

std::string run_line(const std::string& name, const std::string& answers) {
  TempDir dir;
  RunResult r = run_slipvel(dir.path, answers);
  dir.write("stdout.txt", r.out);
  dir.write("stderr.txt", r.err);
  std::string line = name + (r.exited ? " exit" : " signal") + std::to_string(r.code);
  for (const char* f : {"stdout.txt", "stderr.txt"}) line += " " + digest(dir.file(f));
  for (const char* f : files) line += " " + digest(dir.file(f));
  return line;
}

// Each set stands for a branch or a rounding point that the example run
// does not reach; a one-line fault in the model moves at least one digest.
TEST(Contract, AnswerSetsMatchStoredDigests) {
  const struct {
    const char* name;
    const char* answers;
  } sets[] = {
      {"example", "6\n4.65\n4.32\n2.8\n"},
      {"fmax7", "7\n4.65\n4.32\n2.8\n"},             // td echo 0.045472838: pi in float
      {"fmax20", "20\n4.65\n4.32\n2.8\n"},           // forward steps of the search
      {"fmax1", "1\n4.65\n4.32\n2.8\n"},             // td2 after tr2_4; sum_tri in double
      {"fmax0.0005", "0.0005\n4.65\n4.32\n2.8\n"},   // long bisection, still complete
      {"fmax42.4", "42.4\n4.65\n4.32\n2.8\n"},       // td2 the second sample
      {"fmax64", "64\n4.65\n4.32\n2.8\n"},           // no row nearer than sample 1
      {"ts2.5", "6\n4.65\n4.32\n2.5\n"},             // tr 1.66666663: (ts + ts) / 3
      {"ts12", "6\n4.65\n4.32\n12\n"},               // ts off the grid, triangle 1's end
      {"ts0.06", "6\n4.65\n4.32\n0.06\n"},           // zero total area: NAN ratios
      {"slip3ts1.5", "6\n3\n4.32\n1.5\n"},           // tr/8 between samples
      {"slip4.65ts1.5", "6\n4.65\n4.32\n1.5\n"},     // NaN samples: read-back fails
      {"vm12slip-2", "6\n-2\n12\n2.8\n"},            // asterisks, negative slip
      {"fmax7.5", "7.5\n4.65\n4.32\n2.8\n"},         // x starts one ulp off with 1.01 in double
      {"tri-edge", "4.9\n1.05\n6.39\n2.65\n"},      // triangle 1's edge through (x31, v_ts)
      {"fmax0", "0\n4.65\n4.32\n2.8\n"},             // search stopped: status 2
      {"abc", "abc\n"},                              // the failure report
      // 40 significant digits put fmax on a double tie that goes down to a
      // float tie, which goes down again; a 41st digit would tip both up.
      {"digits41", "1152921573326323840.0000000000000000000001\n"},
  };
  const auto stored = stored_digests();
  for (const auto& s : sets) {
    std::string got = run_line(s.name, s.answers);
    auto it = stored.find(s.name);
    EXPECT_TRUE(it != stored.end() && it->second == got) << "now: " << got;
  }
}

// The stop message of a stopped search comes after everything the run
// wrote on standard output, also when both go to one file.
TEST(Contract, StopMessageFollowsTheConsoleOnOneFile) {
  TempDir dir;
  Ended e = run_shell("printf '0\\n4.65\\n4.32\\n2.8\\n' | " SLIPVEL_BIN " > all.txt 2>&1", dir);
  EXPECT_EQ(e.code, 2);
  std::string all = dir.read("all.txt");
  const std::string tail = " ts, tr =   2.79999995 (s)  1.86666667 (s)\n"
                           "slip-velocity search does not converge for td =   INF\n";
  ASSERT_GE(all.size(), tail.size());
  EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
}

// Standard output to a file is buffered differently from a pipe; the text
// is the same.
TEST(Contract, ExampleConsoleToAFile) {
  TempDir dir;
  Ended e = run_shell("printf '6\\n4.65\\n4.32\\n2.8\\n' | " SLIPVEL_BIN " > all.txt", dir);
  EXPECT_EQ(e.code, 0);
  EXPECT_TRUE(dir.read("all.txt") == golden("stdout.txt"));
}

// The other two signal handlers: their messages and the abnormal end.
TEST(Contract, FloatingExceptionAndAbortSignals) {
  const struct {
    int signal;
    const char* message;
  } cases[] = {{SIGFPE, "Floating Exception\n"}, {SIGABRT, "IOT Trap\n"}};
  for (const auto& c : cases) {
    TempDir dir;
    RunOptions opt;
    opt.input = "6\n";
    opt.hold_input = true;
    opt.signal = c.signal;
    opt.signal_after = "Enter slip";
    RunResult r = run_slipvel(dir.path, opt);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.code, SIGABRT);
    EXPECT_EQ(r.err, c.message);
    // Sent while the prompt may still be handed over: no record twice.
    EXPECT_EQ(r.out, example_out_through("Enter slip"));
  }
}

// Standard output a pipe that nobody reads any more: the failed write is
// reported, not a silent death by SIGPIPE.
TEST(Contract, ClosedPipeOnStandardOutput) {
  TempDir dir;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  close(out[0]);  // the reader has gone before the first record
  int in = open("/dev/null", O_RDONLY);
  int err = open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_TRUE(in >= 0 && err >= 0);
  // Started with SIGPIPE at its default, as a shell starts it.
  pid_t pid = start_slipvel(dir.path, in, out[1], err);
  for (int fd : {in, out[1], err}) close(fd);
  RunResult r = wait_for(pid);
  EXPECT_TRUE(!r.exited && r.code == SIGABRT);
  EXPECT_EQ(dir.read("stderr.txt"), "write: Broken pipe\n"
                                    "apparent state: unit 6 (unnamed)\n"
                                    "last format: list io\n"
                                    "lately writing sequential formatted external IO\n");
}

}  // namespace
