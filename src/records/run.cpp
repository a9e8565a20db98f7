// Start of the run, its normal end, and the signals that end it early.
#include "records/run.h"

#include <unistd.h>

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

}  // namespace

void start_run() {
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
