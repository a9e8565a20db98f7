// Signals with the console on a pseudo-terminal, a stalled pipe or a file:
// every record reaches the console as it is made, a stopped terminal does
// not hold back the end, a stalled pipe's reader is left whole records only,
// and the first end signal decides the message and the status.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/failure_support.h"

namespace {

// A pseudo-terminal: the run gets the terminal side, the test reads the
// other.
struct Terminal {
  int master = -1, slave = -1;
  Terminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
    slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) std::abort();
  }
  ~Terminal() {
    if (slave >= 0) close(slave);
    close(master);
  }
  // Reads what the terminal shows for up to `ms`; false once the run's side
  // is closed and everything is read.
  bool read_for(std::string& shown, int ms) const {
    pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char buf[4096];
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) return false;
    shown.append(buf, n);
    return true;
  }
};

// A pipe holding the answers, its writing end closed.
int answers_pipe() {
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) std::abort();
  if (write(in[1], example_answers, std::strlen(example_answers)) < 0) std::abort();
  close(in[1]);
  return in[0];
}

// Every record reaches the terminal as it is made: the run held at its
// read-back (slip_t.csv is a FIFO, empty when read again) and killed there
// has shown all 14 dialogue records and the 2,512 progress records.
TEST(SignalConsoles, TerminalShowsEveryRecordAtOnce) {
  TempDir dir, io;
  ASSERT_EQ(mkfifo(dir.file("slip_t.csv").c_str(), 0644), 0);
  Terminal tty;
  int in = answers_pipe();
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  pid_t pid = start_slipvel(dir.path, in, tty.slave, err);
  for (int fd : {in, err, tty.slave}) close(fd);
  tty.slave = -1;
  std::string shown;
  bool held = false;
  for (int k = 0; k < 2000 && !held; k++) {
    tty.read_for(shown, 10);
    held = count_lines(dir.read("slip_a.csv")) == 2513 && process_state(pid) == 'S';
  }
  EXPECT_TRUE(held) << "the run was not held at its read-back";
  kill(pid, SIGKILL);
  while (tty.read_for(shown, 1000)) {
  }
  RunResult r = wait_for(pid, 5);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(count_lines(shown), 2526);
  EXPECT_EQ(io.read("err"), "");
}

// A terminal whose output is stopped (Ctrl-S): the run waits at its first
// prompt; an end signal ends it within the liveness bound with its message
// and status 1, and no file is written.
TEST(SignalConsoles, StoppedTerminal) {
  const struct {
    int signal;
    const char* message;
  } cases[] = {{SIGINT, "Interrupt\n"}, {SIGTERM, "Killed\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir, io;
    Terminal tty;
    ASSERT_EQ(tcflow(tty.slave, TCOOFF), 0);
    int in = answers_pipe();
    int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    pid_t pid = start_slipvel(dir.path, in, tty.slave, err);
    close(in);
    close(err);
    EXPECT_TRUE(wait_until(pid, [] { return true; }));
    kill(pid, c.signal);
    RunResult r = wait_for(pid, 5);  // a liveness bound
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(io.read("err"), c.message);
    EXPECT_TRUE(listing(dir).empty());
  }
}

// Standard output an 8 KiB pipe that its reader stopped reading during the
// spectra, more output waiting than it holds. The first end signal decides
// the message and the status, a second one 50 ms later, while the stalled
// reader is given its patience, changes neither. Read after the end, the
// pipe holds whole records only.
TEST(SignalConsoles, StalledPipeAndSecondSignal) {
  const struct {
    int first, second;
    const char* message;
  } cases[] = {
      {SIGTERM, 0, "Killed\n"},
      {SIGINT, 0, "Interrupt\n"},
      {SIGTERM, SIGINT, "Killed\n"},
      {SIGINT, SIGTERM, "Interrupt\n"},
  };
  const Reference& ref = reference();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.message) + (c.second ? " then a second signal" : ""));
    TempDir dir, io;
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(out[0], F_SETPIPE_SZ, 8192), 8192);
    int in = answers_pipe();
    int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    pid_t pid = start_slipvel(dir.path, in, out[1], err);
    for (int fd : {in, err, out[1]}) close(fd);
    // The pipe full, the run waiting to hand more over.
    EXPECT_TRUE(wait_until(pid, [&] { return queued(out[0]) > 4096; }));
    kill(pid, c.first);
    if (c.second) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      kill(pid, c.second);
    }
    RunResult r = wait_for(pid, 5);  // a liveness bound
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(io.read("err"), c.message);
    std::string shown = drain(out[0]);
    close(out[0]);
    EXPECT_GT(shown.size(), 4096u);
    expect_complete_records(shown, ref.out, "standard output");
    expect_example_files(dir, {"slip_t.csv"});
    expect_complete_records(dir.read("slip_a.csv"), ref.files.at("slip_a.csv"), "slip_a.csv");
  }
}

// An interrupt in the middle of the spectra, standard output a regular
// file: the run ends within the liveness bound, status 1, and every file
// keeps whole records, slip_t.csv all of them. The interrupt comes right
// after the first write to slip_a.csv.
TEST(SignalConsoles, InterruptDuringTheSpectraToAFile) {
  const Reference& ref = reference();
  TempDir dir, io;
  int in = answers_pipe();
  int out = open(io.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  RunOptions traced;
  traced.traced = true;
  pid_t pid = start_slipvel(dir.path, in, out, err, traced);
  for (int fd : {in, out, err}) close(fd);
  EXPECT_TRUE(signal_after_first_write(pid, std::filesystem::canonical(dir.path) / "slip_a.csv",
                                       SIGINT));
  RunResult r = wait_for(pid, 5);  // a liveness bound
  EXPECT_TRUE(exited_with(r, 1));
  EXPECT_EQ(io.read("err"), "Interrupt\n");
  expect_complete_records(io.read("out"), ref.out, "standard output");
  expect_example_files(dir, {"slip_t.csv"});
  std::string slip_a = dir.read("slip_a.csv");
  EXPECT_LT(count_lines(slip_a), 2513) << "the interrupt came after the spectra";
  expect_complete_records(slip_a, ref.files.at("slip_a.csv"), "slip_a.csv");
  EXPECT_FALSE(dir.exists("slip_vel-5triangle.csv"));
}

}  // namespace
