// Start of the run, its normal end, and the signals that end it early.
#include "records/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "records/channel_table.h"

namespace {

// Each handler hands over what it can without waiting past the patience,
// writes its message and ends: safe, since it touches only the channel
// buffers, whose indices the main line keeps exact (held signals), and
// async-signal-safe calls.
template <size_t N>
[[noreturn]] void end_by_signal(const char (&message)[N], int status) {
  rescue_all_channels(signal_patience_ms);
  say_error(message, N - 1, signal_patience_ms);
  if (status) _exit(status);
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

// Floating-point exception and abort: the message, then the abnormal end.
void on_floating_exception(int) { end_by_signal("Floating Exception\n", 0); }
void on_abort(int) { end_by_signal("IOT Trap\n", 0); }

// Interrupt and termination request: every file keeps the records completed
// so far, and the status is 1.
void on_interrupt(int) { end_by_signal("Interrupt\n", 1); }
void on_termination(int) { end_by_signal("Killed\n", 1); }

void handle(int sig, void (*handler)(int)) {
  struct sigaction sa = {};
  sa.sa_handler = handler;
  sigfillset(&sa.sa_mask);  // one end at a time
  sigaction(sig, &sa, nullptr);
}

// A standard stream closed by whoever started the run is held by /dev/null
// opened against its direction, before any file is opened: no file of the
// run can take its number, and every transfer on it fails as on a closed
// descriptor (EBADF): standard input and output fail with their report,
// and what goes to a closed standard error is dropped.
void hold_closed_standard_streams() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
      // The lowest free number is taken, and the lower ones are open by now.
      open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
}

}  // namespace

void start_run() {
  hold_closed_standard_streams();
  // Nothing traps: a division by zero gives an infinity, an invalid
  // operation a NaN, and both flow on into the files.
  std::fesetround(FE_TONEAREST);
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);

  handle(SIGFPE, on_floating_exception);
  handle(SIGABRT, on_abort);
  // An interrupt ignored by whoever started the run stays ignored.
  struct sigaction old = {};
  sigaction(SIGINT, nullptr, &old);
  if (old.sa_handler != SIG_IGN) handle(SIGINT, on_interrupt);
  handle(SIGTERM, on_termination);
  // A closed pipe on standard output is a failed write, reported as such.
  std::signal(SIGPIPE, SIG_IGN);

  connect_standard_channels();
  std::atexit(close_all_channels);
}

void stop_run() { std::exit(0); }

void quit_run(int status, const char* line) {
  close_all_channels();
  say_error(line, std::strlen(line), report_patience_ms);
  say_error("\n", 1, report_patience_ms);
  std::exit(status);
}
