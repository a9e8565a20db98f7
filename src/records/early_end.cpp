// The early ends: the failure report (what failed, on which channel, in
// which statement, then the abnormal end) and the end by a signal.
#include "records/early_end.h"

#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/channel_table.h"
#include "records/end_signal.h"
#include "records/hand_over.h"

namespace {

struct {
  int unit = unit_input;
  bool reading = true;
  const char* format = nullptr;
} last;

void say(const char* fmt, ...) {
  char line[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (n >= static_cast<int>(sizeof line)) n = sizeof line - 1;
  say_error(line, n, report_patience_ms);
}

const char* message(int errnum) {
  switch (errnum) {
    case err_truncation: return "truncation failed in endfile";
    case err_list_input: return "incomprehensible list input";
    case err_no_space: return "out of free space";
    default: return "can't write file";  // err_cant_write
  }
}

}  // namespace

void (*failure_hook)(int errnum, const char* context) = nullptr;

void note_statement(int unit, bool reading, const char* format) {
  last.unit = unit;
  if (format) {
    last.reading = reading;
    last.format = format;
  }
}

void note_statement_done() { last.format = nullptr; }

void fail_run(int errnum, const char* context) {
  if (failure_hook) failure_hook(errnum, context);
  // A signal noted before the failure ends the run as it would have at the
  // next record boundary: its message and status stand.
  if (int sig = end_signal()) end_by_signal(sig);
  // A signal that comes from here on is left unseen: the failure's report
  // and abnormal end stand (the waits below stop at their patience alone).
  // 1. Every complete record reaches its reader (standard output first);
  //    a file being written is cut after its last complete record.
  rescue_all_channels(report_patience_ms);

  // 2. What failed.
  if (errnum >= 0 && errnum < err_own)
    say("%s: %s\n", context, std::strerror(errnum));
  else if (errnum == err_eof)
    say("%s: end of file\n", context);
  else
    say("%s: %s\n", context, message(errnum));

  // 3. Where: the channel, the statement's layout, the direction.
  const Channel& ch = channel(last.unit);
  if (ch.name.empty())
    say("apparent state: unit %d (unnamed)\n", last.unit);
  else
    say("apparent state: unit %d named %s\n", last.unit, ch.name.c_str());
  if (last.format) say("last format: %s\n", last.format);
  say("lately %s sequential formatted external IO\n", last.reading ? "reading" : "writing");

  // 4. The abnormal end, by the platform's abort.
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

void end_by_signal(int sig) {
  // Every file keeps the records completed so far, cut after the last.
  rescue_all_channels(signal_patience_ms);
  // A hangup is a termination request like SIGTERM.
  bool request = sig == SIGINT || sig == SIGTERM || sig == SIGHUP;
  const char* message = sig == SIGINT ? "Interrupt\n"
                        : request     ? "Killed\n"
                        : sig == SIGFPE ? "Floating Exception\n"
                                        : "IOT Trap\n";
  say_error(message, std::strlen(message), signal_patience_ms);
  // The files are whole already: nothing is left for the exit handling.
  if (request) _exit(1);
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}
