// The end signals: a note of the first that came, and waits that a signal
// always ends.
#include "records/end_signal.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>

namespace {

volatile sig_atomic_t first_end_signal = 0;

// A hangup (the terminal closed) is a termination request like SIGTERM.
constexpr int end_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGFPE, SIGABRT};

// Safe: it only reads and writes one volatile sig_atomic_t, and a later
// signal leaves the first one's note (and so its message and status).
void note_end_signal(int sig, siginfo_t* info, void*) {
  if (!first_end_signal) first_end_signal = sig;
  // A fault of the process itself cannot wait for the main line: returning
  // would run the faulting instruction again, and abort() kills the process
  // after the handler returns. Neither happens in this run (traps are
  // masked, and nothing calls abort() with the handler in place); should
  // one happen, the message goes out with two async-signal-safe calls.
  bool hardware = sig == SIGFPE && info->si_code > 0;
  bool own_abort = sig == SIGABRT && info->si_pid == getpid();
  if (hardware || own_abort) {
    static const char fpe[] = "Floating Exception\n", iot[] = "IOT Trap\n";
    if (write(STDERR_FILENO, hardware ? fpe : iot, hardware ? sizeof fpe - 1 : sizeof iot - 1)) {
    }
    signal(SIGABRT, SIG_DFL);
    abort();
  }
}

sigset_t end_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : end_signals) sigaddset(&set, sig);
  return set;
}

}  // namespace

void take_end_signals() {
  struct sigaction sa = {};
  sa.sa_sigaction = note_end_signal;
  sa.sa_flags = SA_SIGINFO;  // no SA_RESTART: a signal ends a waiting call
  sigemptyset(&sa.sa_mask);
  for (int sig : end_signals) {
    // An interrupt or hangup ignored by whoever started the run (a job
    // started with `&`, nohup) stays ignored.
    struct sigaction old = {};
    sigaction(sig, nullptr, &old);
    if ((sig == SIGINT || sig == SIGHUP) && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
  // Whoever started the run may have left them blocked; the run must see
  // them at every record boundary, not only in its waits.
  sigset_t set = end_signal_set();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int end_signal() { return first_end_signal; }

Woken wait_ready(int fd, short events, int timeout_ms, bool on_signal) {
  // Safe: with the end signals held, none can come between the look at the
  // note and the wait; ppoll opens them for the wait alone, atomically, so
  // one that comes then ends the wait.
  sigset_t held = end_signal_set(), old;
  sigprocmask(SIG_BLOCK, &held, &old);
  if (on_signal && end_signal()) {
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return Woken::signalled;
  }
  sigset_t open = old;
  for (int sig : end_signals) sigdelset(&open, sig);
  timespec bound = {timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
  pollfd p = {fd, events, 0};
  int n = ppoll(&p, 1, timeout_ms < 0 ? nullptr : &bound, &open);
  // A signal that came as the descriptor became ready (a reader's end of
  // input often comes with the interrupt that caused it) is handled when
  // the mask is restored, and ends the wait as well.
  sigprocmask(SIG_SETMASK, &old, nullptr);
  if (on_signal && end_signal()) return Woken::signalled;
  if (n > 0) return Woken::ready;  // ready, or an error that the next call meets
  return n == 0 ? Woken::late : Woken::ready;
}
