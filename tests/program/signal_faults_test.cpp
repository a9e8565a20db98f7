// Signals that end the run, end to end: interrupts and termination requests
// with readers that stopped reading, a kill in the middle of a file, an
// interrupt ignored by whoever started the run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/failure_support.h"

using namespace std::string_literals;

namespace {

// Readers that stopped reading: standard output a one-page pipe that is not
// read while the signal is sent and until the run has ended, and where the
// case says so slip_a.csv a FIFO whose reader stopped too. The run waits in
// a write (or for an answer) when the signal comes; it must end at once,
// every file keeping whole records only.
TEST(SignalFaults, StalledReaders) {
  enum Where { prompt_full_pipe, spectra_fifo, last_hand_over };
  const struct {
    int signal;
    const char* message;
    Where where;
  } cases[] = {
      {SIGINT, "Interrupt\n", prompt_full_pipe}, {SIGTERM, "Killed\n", prompt_full_pipe},
      {SIGINT, "Interrupt\n", spectra_fifo},     {SIGTERM, "Killed\n", spectra_fifo},
      {SIGINT, "Interrupt\n", last_hand_over},   {SIGTERM, "Killed\n", last_hand_over},
  };
  const Reference& ref = reference();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.message) + " case " + std::to_string(c.where));
    TempDir dir, io;
    int in[2], out[2];
    ASSERT_EQ(pipe(in) | pipe(out), 0);
    fcntl(out[0], F_SETPIPE_SZ, 4096);
    if (c.where == prompt_full_pipe) {
      // Someone else's output already fills the pipe: the first prompt waits.
      fcntl(out[1], F_SETFL, O_NONBLOCK);
      while (write(out[1], "x", 1) == 1) {
      }
      fcntl(out[1], F_SETFL, 0);
    } else {
      ASSERT_EQ(write(in[1], example_answers, std::strlen(example_answers)),
                static_cast<ssize_t>(std::strlen(example_answers)));
    }
    int fifo = -1;
    if (c.where == spectra_fifo) {
      ASSERT_EQ(mkfifo(dir.file("slip_a.csv").c_str(), 0644), 0);
      fifo = open(dir.file("slip_a.csv").c_str(), O_RDONLY | O_NONBLOCK);
    }
    int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = start_slipvel(dir.path, in[0], out[1], err);
    close(err);
    close(in[0]);
    close(out[1]);
    // The moment the run waits where the case puts it.
    bool waiting = wait_until(pid, [&] {
      // Full: no page of the FIFO left for the next whole-record write.
      if (c.where == spectra_fifo) return queued(fifo) > fcntl(fifo, F_GETPIPE_SZ) - 4096;
      if (c.where == last_hand_over) return dir.exists("parameter.csv");
      return true;
    });
    EXPECT_TRUE(waiting);
    kill(pid, c.signal);
    // A liveness bound, not a speed test: the end must not wait on a reader.
    RunResult r = wait_for(pid, 5);
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(io.read("err"), c.message);
    std::string out_text = drain(out[0]);
    if (c.where == prompt_full_pipe) {
      EXPECT_TRUE(listing(dir).empty());
    } else {
      expect_complete_records(out_text, ref.out, "standard output");
      expect_example_files(dir, {"slip_t.csv"});
    }
    if (c.where == spectra_fifo) {
      std::string slip_a = drain(fifo);
      EXPECT_GE(count_lines(slip_a), 1000);
      expect_complete_records(slip_a, ref.files.at("slip_a.csv"), "slip_a.csv");
      EXPECT_FALSE(dir.exists("slip_vel-5triangle.csv"));
    }
    if (c.where == last_hand_over) expect_example_files(dir);
    for (int fd : {in[1], out[0], fifo})
      if (fd >= 0) close(fd);
  }
}

// A failure while standard output's reader has stopped reading: the records
// it would not take are given up, and the report still comes and ends the run.
TEST(SignalFaults, FailureWithStalledOutput) {
  TempDir dir, io;
  ASSERT_EQ(symlink("/dev/full", dir.file("slip_a.csv").c_str()), 0);
  int in[2], out[2];
  ASSERT_EQ(pipe(in) | pipe(out), 0);
  fcntl(out[0], F_SETPIPE_SZ, 4096);
  ASSERT_GT(write(in[1], example_answers, std::strlen(example_answers)), 0);
  close(in[1]);
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = start_slipvel(dir.path, in[0], out[1], err);
  for (int fd : {in[0], out[1], err}) close(fd);
  RunResult r = wait_for(pid, 10);  // a liveness bound: the pipe is never read
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(io.read("err"), report("write: No space left on device", file_unit + "slip_a.csv",
                                   slip_a_row, "writing"));
  expect_complete_records(drain(out[0]), reference().out, "standard output");
  close(out[0]);
}

// A run killed outright while it writes slip_a.csv over an older, longer
// file: the file holds this run's whole records and nothing of the old one.
// The kill comes right after the first write to the file.
TEST(SignalFaults, KilledMidFileOverOlderFile) {
  const Reference& ref = reference();
  std::string older;
  while (count_lines(older) < 30000) older += "  9.9999,    0.99999E+09,    0.99999E+09,    0.99999E+09,\n";
  TempDir dir;
  dir.write("slip_a.csv", older);
  int in[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_GT(write(in[1], example_answers, std::strlen(example_answers)), 0);
  close(in[1]);
  int null = open("/dev/null", O_WRONLY);
  RunOptions traced;
  traced.traced = true;
  pid_t pid = start_slipvel(dir.path, in[0], null, null, traced);
  close(in[0]);
  close(null);
  EXPECT_TRUE(signal_after_first_write(pid, std::filesystem::canonical(dir.file("slip_a.csv")),
                                       SIGKILL));
  RunResult r = wait_for(pid, 5);
  EXPECT_FALSE(r.exited);
  std::string slip_a = dir.read("slip_a.csv");
  EXPECT_GT(slip_a.size(), 0u);
  EXPECT_LT(slip_a.size(), ref.files.at("slip_a.csv").size()) << "the kill came after the file";
  EXPECT_EQ(slip_a.find("0.99999E+09"), std::string::npos) << "rows of the older file remain";
  expect_complete_records(slip_a, ref.files.at("slip_a.csv"), "slip_a.csv");
}

// A signal while the program waits for an answer: status 1, no file, the
// console through the prompt.
TEST(SignalFaults, DuringTheDialogue) {
  const struct {
    int signal;
    const char* message;
    const char* answers;  // given before the signal, the input kept open
    const char* prompt;   // the prompt that waits
    int lines;            // of standard output
  } cases[] = {
      {SIGINT, "Interrupt\n", "6\n4.65\n4.32\n", "Enter ts", 12},
      {SIGTERM, "Killed\n", "6\n4.65\n4.32\n", "Enter ts", 12},
      {SIGINT, "Interrupt\n", "6\n", "Enter slip", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.message) + " at " + c.prompt);
    TempDir dir;
    RunOptions opt;
    opt.input = c.answers;
    opt.hold_input = true;
    opt.signal = c.signal;
    opt.signal_after = c.prompt;
    RunResult r = run_slipvel(dir.path, opt);
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(r.err, c.message);
    EXPECT_TRUE(same_text(r.out, example_out_through(c.prompt)));
    EXPECT_EQ(count_lines(r.out), c.lines);
    EXPECT_TRUE(listing(dir).empty());
  }
}

// An interrupt ignored by whoever started the run stays ignored.
TEST(SignalFaults, IgnoredInterruptStaysIgnored) {
  TempDir dir;
  RunOptions opt;
  opt.input = example_answers;
  opt.ignore_sigint = true;
  opt.signal = SIGINT;
  opt.signal_after = " i,om=  1 ";
  RunResult r = run_slipvel(dir.path, opt);
  EXPECT_TRUE(exited_with(r, 0));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(same_text(r.out, reference().out));
  expect_example_files(dir);
}

}  // namespace
