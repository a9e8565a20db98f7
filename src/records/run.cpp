// Start of the run, its normal end, and the signals that end it early.
#include "records/run.h"

#include <unistd.h>

#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "records/channel_table.h"

namespace {

int arg_count;
char** arg_values;  // kept for later access; the run never looks at them

template <size_t N>
void say(const char (&text)[N]) { say_error(text, N - 1); }

// Floating-point exception and abort: the message, then the abnormal end.
void on_floating_exception(int) {
  rescue_all_channels();
  say("Floating Exception\n");
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

void on_abort(int) {
  rescue_all_channels();
  say("IOT Trap\n");
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

// Interrupt and termination request: every file keeps the records completed
// so far, and the status is 1.
void on_interrupt(int) {
  rescue_all_channels();
  say("Interrupt\n");
  _exit(1);
}

void on_termination(int) {
  rescue_all_channels();
  say("Killed\n");
  _exit(1);
}

void handle(int sig, void (*handler)(int)) {
  struct sigaction sa = {};
  sa.sa_handler = handler;
  sigfillset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void start_run(int argc, char** argv) {
  // Nothing traps: a division by zero gives an infinity, an invalid
  // operation a NaN, and both flow on into the files.
  std::fesetround(FE_TONEAREST);
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);

  arg_count = argc;
  arg_values = argv;

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
  say_error(line, std::strlen(line));
  say("\n");
  std::exit(status);
}
