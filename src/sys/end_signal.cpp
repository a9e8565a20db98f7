#include "sys/end_signal.h"

#include <csignal>
#include <cstdlib>

namespace {

// Safe: the handler only stores to a lock-free sig_atomic_t, which any thread
// may read; the first signal's number stands.
volatile std::sig_atomic_t received = 0;

extern "C" void note_end_signal(int s) {
  if (!received) received = s;
}

}  // namespace

void install_end_signals() {
  struct sigaction sa = {};
  sa.sa_handler = note_end_signal;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a wait (for a child, say) returns with EINTR and the
  // main line looks at the signal at once.
  // A signal ignored by whoever started us (nohup, a background job) stays
  // ignored.
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old;
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &sa, nullptr);
  }
}

void check_end_signal() {
  if (int s = received) throw EndSignal(s);
}

void end_process_by(int s) {
  std::signal(s, SIG_DFL);
  std::raise(s);
  std::_Exit(128 + s);  // the signal was held or ignored by the caller's mask
}
